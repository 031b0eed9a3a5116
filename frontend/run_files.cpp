#include "frontend/run_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>

#include "common/written_files.h"

namespace fs = std::filesystem;

namespace trov::front {

namespace {

// What a new file gets: the permissions of the file it replaces, else those the umask leaves.
mode_t new_file_mode(const fs::path& target) {
  struct stat existing;
  if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

std::string write_all(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::strerror(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

// Copies source to target through a temporary file in the target's folder, renamed over the target.
std::string copy_file(const std::string& source, const fs::path& target) {
  std::ifstream results(source, std::ios::binary);
  if (!results) return source + " cannot be read";
  const std::string text((std::istreambuf_iterator<char>(results)), std::istreambuf_iterator<char>());

  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string hidden(1, '.');
  hidden += target.filename().string();
  std::string temporary = (folder / (hidden + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return "cannot create a file in " + folder.string() + ": " + std::strerror(errno);
  std::string why = write_all(fd, text);
  if (why.empty() && fchmod(fd, new_file_mode(target)) != 0) why = std::strerror(errno);
  if (why.empty() && fsync(fd) != 0) why = std::strerror(errno);
  if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && std::rename(temporary.c_str(), target.c_str()) != 0) why = std::strerror(errno);
  if (!why.empty()) unlink(temporary.c_str());
  return why;
}

}  // namespace

std::string_view run_file_named(const fs::path& name) {
  for (std::string_view own : kRunFiles)
    if (same_file(name, own)) return own;
  const fs::path path = normalised(name);
  if (path.filename().string().starts_with(kEngineTemporaryPrefix) && path.parent_path() == normalised("."))
    return "a temporary file of trov.json";
  return {};
}

void remove_results() {
  std::error_code ec;
  for (std::string_view name : std::span(kRunFiles).subspan(kSettingsFiles)) fs::remove(name, ec);
}

std::vector<ResultCopy> result_copies(const std::string& output_name) {
  std::vector<ResultCopy> copies = {{"trov.out", output_name}};
  for (std::string_view source : std::span(kRunFiles).subspan(kSettingsFiles)) {
    if (source == "trov.out") continue;
    fs::path target(output_name);
    target.replace_extension();
    target += source.substr(std::string_view("trov").size());  // ".wmf", "_plot.csv"
    copies.push_back({source, target});
  }
  return copies;
}

std::string copy_results(const std::string& output_name) {
  if (output_name.empty() || same_file(output_name, "trov.out")) return {};
  for (const ResultCopy& copy : result_copies(output_name)) {
    if (same_file(copy.target, copy.source)) continue;
    std::error_code ec;
    if (copy.source != "trov.out" && !fs::exists(copy.source, ec)) {
      fs::remove(copy.target, ec);
      record_written(copy.target);  // takes it off the record
      continue;
    }
    if (std::string why = copy_file(std::string(copy.source), copy.target); !why.empty())
      return copy.source == "trov.out" ? why : copy.target.string() + ": " + why;
    record_written(copy.target);
  }
  return {};
}

}  // namespace trov::front
