#include "frontend/engine_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

extern char** environ;

namespace trov::front {

namespace {

// The unsigned number at the start of `text`, which it then leaves; nothing when there is none.
std::optional<int> leading_number(std::string_view& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || value < 0) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

bool take_prefix(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

std::optional<EngineProgress> progress_of(std::string_view line) {
  if (!take_prefix(line, "bootstrap: ")) return std::nullopt;
  const std::optional<int> done = leading_number(line);
  if (!done || !take_prefix(line, " of ")) return std::nullopt;
  const std::optional<int> total = leading_number(line);
  if (!total || line != " replicates done" || *total == 0 || *done > *total) return std::nullopt;
  return EngineProgress{*done, *total};
}

std::string engine_path() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path beside = self.parent_path() / "trov40";
    if (access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  return "trov40";
}

EngineRun::EngineRun(const std::string& engine, const std::string& input_path) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    outcome_.failure = std::strerror(errno);
    return;
  }
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    outcome_.failure = std::strerror(errno);
    close(out_pipe[0]);
    close(out_pipe[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  char* argv[] = {const_cast<char*>(engine.c_str()), nullptr};
  const int spawned = posix_spawnp(&pid_, engine.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    pid_ = -1;
    outcome_.failure = "cannot start " + engine + ": " + std::strerror(spawned);
    return;
  }
  fds_[0] = out_pipe[0];
  fds_[1] = err_pipe[0];
  outcome_.started = true;
}

EngineRun::~EngineRun() {
  for (int& fd : fds_)
    if (fd >= 0) close(std::exchange(fd, -1));
  if (pid_ > 0 && !waited_) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

void EngineRun::read_stream(int which) {
  int& fd = fds_[which];
  if (fd < 0) return;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
  }
  if (got <= 0) {
    close(std::exchange(fd, -1));
    if (which == 1 && !pending_.empty()) {
      pending_ += '\n';
      take_error_lines();
    }
    return;
  }
  std::FILE* sink = which == 0 ? stdout : stderr;
  std::fwrite(buffer, 1, static_cast<std::size_t>(got), sink);
  std::fflush(sink);
  if (which == 1) {
    pending_.append(buffer, static_cast<std::size_t>(got));
    take_error_lines();
  }
}

// Moves the whole lines of the pending text to the kept lines (their last kKeptErrorLines), a progress
// line to the progress.
void EngineRun::take_error_lines() {
  std::vector<std::string>& lines = outcome_.error_lines;
  std::size_t end;
  while ((end = pending_.find('\n')) != std::string::npos) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (auto progress = progress_of(line))
      progress_ = progress;
    else
      lines.push_back(std::move(line));
  }
  if (lines.size() > kKeptErrorLines)
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(kKeptErrorLines));
}

void EngineRun::stop() {
  if (pid_ <= 0 || waited_) return;
  kill(pid_, stops_++ == 0 ? SIGTERM : SIGKILL);
}

std::optional<EngineOutcome> EngineRun::ended() {
  if (!outcome_.started) return outcome_;
  if (streams_open()) return std::nullopt;
  if (!waited_) {
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (got == 0) return std::nullopt;
    waited_ = true;
    if (got < 0) {  // cannot happen for our own child; say so rather than report success
      outcome_.signal = SIGKILL;
    } else if (WIFSIGNALED(status)) {
      outcome_.signal = WTERMSIG(status);
    } else {
      outcome_.exit_status = WEXITSTATUS(status);
    }
    outcome_.cancelled = stops_ > 0 && outcome_.signal != 0;
  }
  return outcome_;
}

}  // namespace trov::front
