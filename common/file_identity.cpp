#include "common/file_identity.h"

namespace fs = std::filesystem;

namespace trov {

fs::path normalised(const fs::path& p) {
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(p, ec), ec);
  return ec ? fs::absolute(p, ec).lexically_normal() : full.lexically_normal();
}

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  const bool a_exists = fs::exists(a, ec), b_exists = fs::exists(b, ec);
  if (a_exists && b_exists) return fs::equivalent(a, b, ec);
  if (a_exists != b_exists) return false;
  return normalised(a) == normalised(b);
}

}  // namespace trov
