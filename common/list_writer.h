#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trov {

// One list-directed output statement. Items are appended in order; str() gives the finished
// record(s), each ended by a line end. Records wrap before they would reach column 80.
//   ListWriter().text("No. of observations =").integer(123).str() == " No. of observations = 123\n"
class ListWriter {
 public:
  ListWriter& text(std::string_view value);
  ListWriter& integer(std::int64_t value);
  // Reals: at most 9 significant digits, shortest form; a float widened first prints 0.100000001.
  ListWriter& real(double value);
  std::string str() const;

 private:
  void start_new_record_if(std::size_t item_length);
  std::string done_;    // finished records
  std::string record_;  // record in progress
};

// The text of a real as a list-directed item writes it, leading blank and sign position included.
std::string list_real_text(double value);
}  // namespace trov
