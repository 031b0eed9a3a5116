#include "common/list_reader.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>

namespace trov {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

constexpr std::size_t kLongestLine = 1 << 20;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

ListReader::Result fault(std::string what) { return {ListReader::Status::fault, std::move(what)}; }
ListReader::Result unreadable(std::string what) { return {ListReader::Status::unreadable, std::move(what)}; }
ListReader::Result end_of_file() { return {ListReader::Status::end_of_file, {}}; }
ListReader::Result completed(int values) { return {ListReader::Status::ok, {}, values}; }

// Converts a scanned number into the item; the token is already in C form ("1.5E-3").
ListReader::Result assign(const ListReader::Target& target, const std::string& token, bool integer_form) {
  if (auto* item = std::get_if<int*>(&target)) {
    if (!integer_form) return fault("invalid integer");
    errno = 0;
    long long value = std::strtoll(token.c_str(), nullptr, 10);
    if (errno == ERANGE || value > INT_MAX || value < INT_MIN) return fault("integer overflow");
    **item = static_cast<int>(value);
    return {};
  }
  double value = std::strtod(token.c_str(), nullptr);
  if (!std::isfinite(value)) return fault("real overflow");
  if (auto* item = std::get_if<float*>(&target)) {
    if (std::fabs(value) > FLT_MAX) return fault("real overflow");
    **item = static_cast<float>(value);
  } else {
    *std::get<double*>(target) = value;
  }
  return {};
}

}  // namespace

ListReader::ListReader(std::istream& in, std::string source_name)
    : in_(in), source_name_(std::move(source_name)) {}

// A line ends at LF, CR LF or a lone CR (old Mac files). A byte-order mark before the first line (what
// spreadsheets write for "CSV UTF-8") belongs to no line. Lines are bounded, so that a file without line
// ends cannot take all memory.
ListReader::Result ListReader::fetch_line() {
  using traits = std::streambuf::traits_type;
  if (!in_.good()) return in_.bad() ? unreadable("input error") : end_of_file();
  std::streambuf& text = *in_.rdbuf();
  line_.clear();
  pos_ = 0;
  int c = text.sbumpc();
  if (c == traits::eof()) {
    in_.setstate(std::ios::eofbit);
    return end_of_file();
  }
  ++line_number_;
  for (; c != traits::eof() && c != '\n'; c = text.sbumpc()) {
    if (c == '\r') {
      if (text.sgetc() == '\n') text.sbumpc();
      break;
    }
    if (line_.size() == kLongestLine) return unreadable("line longer than 1 MB");
    line_ += traits::to_char_type(c);
  }
  if (c == traits::eof()) in_.setstate(std::ios::eofbit);
  if (line_number_ == 1 && line_.starts_with(kByteOrderMark)) line_.erase(0, kByteOrderMark.size());
  return {};
}

bool ListReader::at_value_end() const {
  return pos_ >= line_.size() || is_blank(line_[pos_]) || line_[pos_] == ',' || line_[pos_] == '/';
}

// number: [sign] digits [. digits] [(E|e|D|d) [sign] digits | sign digits]; at least one mantissa digit.
ListReader::Result ListReader::scan_number(std::string& token, bool& integer_form) {
  token.clear();
  integer_form = true;
  auto peek = [&] { return pos_ < line_.size() ? line_[pos_] : '\0'; };
  if (peek() == '+' || peek() == '-') token += line_[pos_++];
  int mantissa_digits = 0;
  while (is_digit(peek())) token += line_[pos_++], ++mantissa_digits;
  if (peek() == '.') {
    integer_form = false;
    token += line_[pos_++];
    while (is_digit(peek())) token += line_[pos_++], ++mantissa_digits;
  }
  if (mantissa_digits == 0) return fault("invalid number");
  char c = peek();
  bool letter = c == 'E' || c == 'e' || c == 'D' || c == 'd';
  if (letter || c == '+' || c == '-') {
    integer_form = false;
    token += 'E';
    if (letter) ++pos_;
    if (peek() == '+' || peek() == '-') token += line_[pos_++];
    if (!is_digit(peek())) return fault("exponent field");
    while (is_digit(peek())) token += line_[pos_++];
  }
  return {};
}

ListReader::Result ListReader::read(std::initializer_list<Target> items) {
  if (Result r = fetch_line(); !r.ok()) return r;
  int repeat = 0;  // copies of `repeated` still to hand out (r*c), or nulls (r*)
  bool repeated_null = false;
  std::string token;
  bool integer_form = true;
  int values = 0;
  for (const Target& target : items) {
    if (repeat == 0) {
      while (true) {  // find where the next value starts
        while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
        if (pos_ < line_.size()) break;
        if (Result r = fetch_line(); !r.ok()) return r;
      }
      char c = line_[pos_];
      if (c == '/') return completed(values);  // the remaining items keep their values
      if (c == ',') {                          // null value
        ++pos_;
        continue;
      }
      std::size_t star = pos_;
      while (star < line_.size() && is_digit(line_[star])) ++star;
      if (star > pos_ && star < line_.size() && line_[star] == '*') {
        // a count beyond the integer range is a fault, never a wrapped or saturated count
        if (std::from_chars(line_.data() + pos_, line_.data() + star, repeat).ec != std::errc() ||
            repeat <= 0)
          return fault("invalid repeat count");
        pos_ = star + 1;
        repeated_null = at_value_end();
        if (!repeated_null) {
          if (Result r = scan_number(token, integer_form); !r.ok()) return r;
        }
      } else {
        repeat = 1;
        repeated_null = false;
        if (Result r = scan_number(token, integer_form); !r.ok()) return r;
      }
      // after a value: blanks and tabs, then one comma as separator
      while (pos_ < line_.size() && is_blank(line_[pos_])) ++pos_;
      if (pos_ < line_.size() && line_[pos_] == ',') ++pos_;
    }
    --repeat;
    if (repeated_null) continue;
    if (Result r = assign(target, token, integer_form); !r.ok()) return r;
    ++values;
  }
  return completed(values);
}

ListReader::Result ListReader::read_line(std::string& text) {
  if (Result r = fetch_line(); !r.ok()) return r;
  text = line_;
  return {};
}

std::string input_fault_report(const ListReader& reader, const ListReader::Result& result) {
  const std::string where = "Error reading " + reader.source_name();
  if (result.status == ListReader::Status::end_of_file)
    return where + ": end of file after line " + std::to_string(reader.line_number());
  return where + ", line " + std::to_string(reader.line_number()) + ": " + result.fault;
}

ListReader::Result read_all(ListReader& reader, std::initializer_list<ListReader::Target> items) {
  ListReader::Result r = reader.read(items);
  if (r.ok() && r.values < static_cast<int>(items.size())) r = fault("no value");
  return r;
}

}  // namespace trov
