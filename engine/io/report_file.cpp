#include "engine/io/report_file.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "common/new_file.h"
#include "engine/core/error_code.h"

namespace trov {

namespace {

enum class ReportState { unclaimed, claimed, done };

// What an interrupt must know of the run's files. The lock is held while a temporary file is created or
// put in place, so an interrupt never lands between a file's making and its bookkeeping; the interrupt
// keeps it until the process ends.
std::mutex files_lock;
std::set<std::string> temporaries;
ReportState state = ReportState::unclaimed;
std::string claimed_path;

// Creates and registers the temporary file (with the lock held); -1 with errno set.
int create_temporary(const std::string& path, std::string& name) {
  const int fd = create_new_file(path + ".tmp", name);
  if (fd >= 0) temporaries.insert(name);
  return fd;
}

// Writes the text to a new temporary file: its name, or empty with errno set. The lock is held while
// the file is made and registered, and released while it is written unless `keep_lock`.
std::string write_temporary_locked(const std::string& path, const std::string& text,
                                   std::unique_lock<std::mutex>& lock, bool keep_lock = false) {
  std::string name;
  const int fd = create_temporary(path, name);
  if (fd < 0) return {};
  if (!keep_lock) lock.unlock();
  bool written = write_all(fd, text);
  int error = errno;
  if (close(fd) != 0 && written) written = false, error = errno;
  if (!keep_lock) lock.lock();
  if (written) return name;
  unlink(name.c_str());
  temporaries.erase(name);
  errno = error;
  return {};
}

bool put_in_place_locked(const std::string& temporary, const std::string& path) {
  const bool renamed = std::rename(temporary.c_str(), path.c_str()) == 0;
  const int error = errno;
  if (!renamed) unlink(temporary.c_str());
  temporaries.erase(temporary);
  errno = error;
  return renamed;
}

// The interrupt's report and end; runs with the lock held, so no file of the run moves meanwhile.
[[noreturn]] void end_by_interrupt(int signal) {
  std::unique_lock lock(files_lock);
  const char* name = signal == SIGINT ? "SIGINT" : "SIGTERM";
  if (state == ReportState::claimed) {
    for (const std::string& temporary : temporaries) unlink(temporary.c_str());
    temporaries.clear();
    const nlohmann::ordered_json report = {
        {"format", "trov-results"},
        {"version", 1},
        {"status", "error"},
        {"error", {std::string("the run was interrupted by ") + name + " before its results were complete"}},
        {"error_code", static_cast<int>(ErrorCode::interrupted)}};
    const std::string temporary = write_temporary_locked(claimed_path, report.dump() + "\n", lock, true);
    if (!temporary.empty()) put_in_place_locked(temporary, claimed_path);
  }
  std::fflush(stdout);
  std::fprintf(stderr, "Error: the run was interrupted by %s\n", name);
  std::fflush(stderr);
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached: the signal ends the process
}

}  // namespace

std::string write_temporary(const std::string& path, const std::string& text) {
  std::unique_lock lock(files_lock);
  return write_temporary_locked(path, text, lock);
}

bool put_in_place(const std::string& temporary, const std::string& path) {
  std::lock_guard lock(files_lock);
  return put_in_place_locked(temporary, path);
}

void discard_temporary(const std::string& temporary) {
  std::lock_guard lock(files_lock);
  unlink(temporary.c_str());
  temporaries.erase(temporary);
}

void claim_report(const std::string& path) {
  std::lock_guard lock(files_lock);
  std::remove(path.c_str());
  claimed_path = path;
  state = ReportState::claimed;
}

void report_done() {
  std::lock_guard lock(files_lock);
  state = ReportState::done;
}

void handle_interrupts() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    end_by_interrupt(signal);
  }).detach();
}

}  // namespace trov
