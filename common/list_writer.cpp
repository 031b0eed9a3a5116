#include "common/list_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace trov {

namespace {

constexpr std::size_t kWrapColumn = 80;

// Magnitude of a finite non-zero value with at most 9 significant digits, trailing zeros dropped;
// exponent form below 1e-4 and from 1e9 on, always with a decimal point.
std::string magnitude_text(double magnitude) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.8e", magnitude);
  std::string digits;
  digits += buffer[0];
  digits.append(buffer + 2, 8);
  int exponent = std::atoi(buffer + 11);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exponent < -4 || exponent >= 9) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return digits.substr(0, 1) + "." + digits.substr(1) + tail;
  }
  if (exponent < 0) return "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  auto integer_digits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() < integer_digits) digits.append(integer_digits - digits.size(), '0');
  return digits.substr(0, integer_digits) + "." + digits.substr(integer_digits);
}

}  // namespace

std::string list_real_text(double value) {
  std::string text = " ";
  text += std::signbit(value) && !std::isnan(value) && value != 0.0 ? '-' : ' ';
  double magnitude = std::fabs(value);
  if (std::isnan(value)) return text + "NaN";
  if (std::isinf(value)) return text + "Infinity";
  if (magnitude == 0.0) return text + "0.";
  return text + magnitude_text(magnitude);
}

void ListWriter::start_new_record_if(std::size_t item_length) {
  if (!record_.empty() && record_.size() + item_length >= kWrapColumn) {
    done_ += record_;
    done_ += '\n';
    record_.clear();
  }
}

ListWriter& ListWriter::text(std::string_view value) {
  start_new_record_if(value.size());
  if (record_.empty()) record_ += ' ';
  record_ += value;
  return *this;
}

ListWriter& ListWriter::integer(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  start_new_record_if(digits.size());
  record_ += ' ';
  if (value < 0) record_ += '-';
  record_ += digits;
  return *this;
}

ListWriter& ListWriter::real(double value) {
  std::string item = list_real_text(value);
  start_new_record_if(item.size());
  record_ += item;
  return *this;
}

std::string ListWriter::str() const {
  if (record_.empty() && done_.empty()) return " \n";  // an empty statement still writes one blank
  std::string out = done_;
  out.append(record_);
  out.push_back('\n');
  return out;
}

}  // namespace trov
