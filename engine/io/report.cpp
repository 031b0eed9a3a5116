#include "engine/io/report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <utility>

#include "engine/io/report_file.h"

namespace trov {

RunReport::RunReport(std::string path) : path_(std::move(path)) {}

RunReport::~RunReport() {
  if (!prepared_.empty()) discard_temporary(prepared_);
}

void RunReport::warned(const std::string& message) { warned_lines(message); }

void RunReport::stopping(const std::string& message, ErrorCode code) {
  error(message, code);
  if (!prepared_.empty()) discard_temporary(std::exchange(prepared_, {}));
  claim();  // a failed run leaves no older report behind, even when its own cannot be written
  const std::string temporary = write_temporary("error");
  if (temporary.empty() || !put_in_place(temporary, path_)) {
    write_errno_ = errno;
    report_write_failure();  // the run goes on to its error stop
  }
  report_done();
}

void RunReport::claim() {
  if (!claimed_) claim_report(path_);
  claimed_ = true;
}

bool RunReport::prepare() {
  prepared_ = write_temporary("ok");
  return !prepared_.empty();
}

bool RunReport::finish() {
  if (prepared_.empty() && !prepare()) return false;
  const bool placed = put_in_place(std::exchange(prepared_, {}), path_);
  if (!placed) write_errno_ = errno;
  report_done();
  return placed;
}

void RunReport::report_write_failure() const {
  std::cout.flush();
  std::fprintf(stderr, "Error: cannot write %s: %s\n", path_.c_str(), std::strerror(write_errno_));
}

std::string RunReport::write_temporary(const char* status) {
  std::string temporary = trov::write_temporary(path_, document(status));
  if (temporary.empty()) write_errno_ = errno;
  return temporary;
}

}  // namespace trov
