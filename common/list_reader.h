#pragma once

#include <initializer_list>
#include <istream>
#include <string>
#include <string_view>
#include <variant>

namespace trov {

// List-directed (free-form) and formatted (A) input from a text stream. Each statement starts on a new
// line; values are separated by blanks, tabs, commas or line ends; a comma where a value should start
// is a null (the item keeps its value), a slash ends the statement, r*c repeats c and r* gives r nulls.
// After the last item the rest of the line is skipped. A line ends at LF, CR LF or a lone CR; a UTF-8
// byte-order mark at the start of the text is skipped; a line longer than 1 MB cannot be read.
class ListReader {
 public:
  // fault: the text is not the value wanted; unreadable: the text itself cannot be read (an input error,
  // a line longer than 1 MB), so the rest of the source is lost too.
  enum class Status { ok, end_of_file, fault, unreadable };
  struct Result {
    Status status = Status::ok;
    std::string fault;  // "invalid integer", "invalid number", "exponent field", ...
    int values = 0;     // items that received a value; the others met a null
    bool ok() const { return status == Status::ok; }
  };
  using Target = std::variant<int*, float*, double*>;

  ListReader(std::istream& in, std::string source_name);

  // One list-directed statement.
  Result read(std::initializer_list<Target> items);
  // One formatted statement "(A)": the whole next line, without its line end.
  Result read_line(std::string& text);

  int line_number() const { return line_number_; }
  const std::string& source_name() const { return source_name_; }

 private:
  Result fetch_line();
  bool at_value_end() const;
  Result scan_number(std::string& token, bool& integer_form);

  std::istream& in_;
  std::string source_name_;
  std::string line_;
  std::size_t pos_ = 0;
  int line_number_ = 0;
};

// The input layer's report for a statement that could not be completed: one line (without its end)
// naming the source, the line and the fault.
std::string input_fault_report(const ListReader& reader, const ListReader::Result& result);

// Reads one statement; a null that leaves an item without a value is the fault "no value", as the item
// would keep whatever it held.
ListReader::Result read_all(ListReader& reader, std::initializer_list<ListReader::Target> items);

}  // namespace trov
