#include "common/new_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace trov {

namespace {

// Eight letters or digits from the kernel's random source; where it fails, from the process and the
// clock (O_EXCL still keeps every name new).
std::string random_suffix(unsigned attempt) {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::uint64_t mix = 0;
  if (getrandom(&mix, sizeof mix, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof mix))
    mix = static_cast<std::uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          (static_cast<std::uint64_t>(attempt) << 40);
  std::string suffix = ".";
  for (int k = 0; k < 8; ++k, mix /= 36) suffix += digits[mix % 36];
  return suffix;
}

}  // namespace

int create_new_file(const std::string& prefix, std::string& name) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = prefix + random_suffix(attempt);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool write_all(int fd, std::string_view text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::string> replace_file(const std::string& path, std::string_view text) {
  std::string name;
  const int fd = create_new_file(path + ".new", name);
  if (fd < 0) return "cannot create a file beside " + path + ": " + std::strerror(errno);
  bool written = write_all(fd, text);
  int error = errno;
  if (close(fd) != 0 && written) written = false, error = errno;
  if (written && std::rename(name.c_str(), path.c_str()) == 0) return std::nullopt;
  if (written) error = errno;
  unlink(name.c_str());
  return "cannot write " + path + ": " + std::strerror(error);
}

}  // namespace trov
