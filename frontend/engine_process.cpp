#include "frontend/engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace trov::front {

namespace {

// Moves the whole lines of `pending` to the end of `lines`, which keeps its last kKeptErrorLines.
void take_lines(std::string& pending, std::vector<std::string>& lines) {
  std::size_t end;
  while ((end = pending.find('\n')) != std::string::npos) {
    lines.push_back(pending.substr(0, end));
    pending.erase(0, end + 1);
  }
  if (lines.size() > kKeptErrorLines)
    lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(kKeptErrorLines));
}

}  // namespace

std::string engine_path() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path beside = self.parent_path() / "trov40";
    if (access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  return "trov40";
}

EngineOutcome run_engine_process(const std::string& engine, const std::string& input_path) {
  EngineOutcome outcome;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0) {
    outcome.failure = std::strerror(errno);
    return outcome;
  }
  if (pipe(err_pipe) != 0) {
    outcome.failure = std::strerror(errno);
    close(out_pipe[0]);
    close(out_pipe[1]);
    return outcome;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid;
  char* argv[] = {const_cast<char*>(engine.c_str()), nullptr};
  int spawned = posix_spawnp(&pid, engine.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    outcome.failure = "cannot start " + engine + ": " + std::strerror(spawned);
    return outcome;
  }
  outcome.started = true;

  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::FILE* sinks[2] = {stdout, stderr};
  std::string pending;  // an unfinished line of standard error
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_count;
        continue;
      }
      std::fwrite(buffer, 1, static_cast<std::size_t>(got), sinks[k]);
      std::fflush(sinks[k]);
      if (k == 1) take_lines(pending.append(buffer, static_cast<std::size_t>(got)), outcome.error_lines);
    }
  }
  if (!pending.empty()) take_lines(pending += '\n', outcome.error_lines);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status))
    outcome.signal = WTERMSIG(status);
  else
    outcome.exit_status = WEXITSTATUS(status);
  return outcome;
}

}  // namespace trov::front
