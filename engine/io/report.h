#pragma once

#include <string>

#include "engine/io/messages.h"
#include "engine/report/report_document.h"

namespace trov {

// trov.json, the file: the run's document, written once the results are complete, or when a run whose
// trov.out is open ends in an error stop. It is written to a temporary file and renamed into place, so
// a reader never sees half of it.
class RunReport final : public ReportDocument, public MessageListener {
 public:
  explicit RunReport(std::string path);
  ~RunReport();
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  // The run owns trov.json from here on: an older one is removed (report_file.h).
  void claim();
  // Writes the report of a run that reached its results to its temporary file, not yet in place; false
  // when it could not be written (report_write_failure says so). It prints nothing, so it may run
  // beside the writing of trov.out.
  bool prepare();
  // Puts the report of a run that reached its results in place (prepared first unless it was), once
  // trov.out is whole: a report never says "ok" beside a trov.out cut short. False as for prepare.
  bool finish();
  // The report on standard error of a trov.json that could not be written.
  void report_write_failure() const;

  void warned(const std::string& message) override;
  void stopping(const std::string& message, ErrorCode code) override;

 private:
  // Writes the whole document to a temporary file: its name, or empty (write_errno_ says why).
  std::string write_temporary(const char* status);

  std::string path_;
  int write_errno_ = 0;  // why the last write failed
  bool claimed_ = false;
  std::string prepared_;  // the temporary file of the "ok" report, until it is put in place
};

}  // namespace trov
