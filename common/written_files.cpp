#include "common/written_files.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/new_file.h"

namespace trov {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMostRecorded = 500;  // the oldest entries go beyond this

fs::path record_of(const fs::path& file) {
  return (file.has_parent_path() ? file.parent_path() : fs::path(".")) / kWrittenRecord;
}

// FNV-1a over the whole content: a change of any byte changes it.
std::optional<std::uint64_t> content_hash(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::uint64_t hash = 14695981039346656037ull;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    for (std::streamsize k = 0; k < in.gcount(); ++k) {
      hash ^= static_cast<unsigned char>(buffer[k]);
      hash *= 1099511628211ull;
    }
  return hash;
}

// The record: file name (within the folder) -> hash, and the names in the order written.
struct Record {
  std::map<std::string, std::uint64_t> hash;
  std::vector<std::string> order;
};

Record read_record(const fs::path& path) {
  Record r;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::uint64_t hash = 0;
    std::string name;
    if (!(fields >> std::hex >> hash) || fields.get() != ' ' || !std::getline(fields, name) || name.empty())
      continue;
    if (!r.hash.contains(name)) r.order.push_back(name);
    r.hash[name] = hash;
  }
  return r;
}

}  // namespace

bool replaceable(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return true;
  const Record r = read_record(record_of(file));
  const auto recorded = r.hash.find(file.filename().string());
  return recorded != r.hash.end() && content_hash(file) == recorded->second;
}

void record_written(const fs::path& file) {
  const fs::path path = record_of(file);
  Record r = read_record(path);
  const std::string name = file.filename().string();
  std::erase(r.order, name);
  r.hash.erase(name);
  if (const auto hash = content_hash(file)) {
    r.order.push_back(name);
    r.hash[name] = *hash;
  }
  const std::size_t skip = r.order.size() > kMostRecorded ? r.order.size() - kMostRecorded : 0;
  std::ostringstream text;
  for (std::size_t k = skip; k < r.order.size(); ++k)
    text << std::hex << r.hash[r.order[k]] << ' ' << r.order[k] << '\n';
  replace_file(path.string(), text.str());
}

}  // namespace trov
