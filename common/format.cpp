#include "common/format.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace trov {

namespace {

constexpr int kExtraDigits = 40;  // exact decimal digits kept beyond the rounding place

std::string stars(int width) { return std::string(static_cast<std::size_t>(width), '*'); }

std::string right_align(const std::string& text, int width) {
  if (static_cast<int>(text.size()) > width) return stars(width);
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// Infinity and NaN are written as words in any numeric field.
bool non_finite(double value, int width, std::string& out) {
  if (std::isfinite(value)) return false;
  out = right_align(std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity"), width);
  return true;
}

// Adds one unit in the last place of a string of decimal digits; returns true on a carry out.
bool increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it == '9') {
      *it = '0';
    } else {
      ++*it;
      return false;
    }
  }
  return true;
}

// The exact decimal digits of |value|: to_chars is exact at any precision and far faster than printf.
std::string exact_digits(double magnitude, std::chars_format form, int precision) {
  char buffer[400];  // the largest double has 309 integer digits
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, form, precision);
  return std::string(buffer, result.ptr);
}

// |value| rounded to `decimals` places, half away from zero: integer part and fraction digits.
void fixed_digits(double magnitude, int decimals, std::string& integer_part, std::string& fraction) {
  const std::string exact = exact_digits(magnitude, std::chars_format::fixed, decimals + kExtraDigits);
  auto point = exact.find('.');
  integer_part = exact.substr(0, point);
  std::string all = integer_part + exact.substr(point + 1, static_cast<std::size_t>(decimals));
  bool round_up = exact[point + 1 + static_cast<std::size_t>(decimals)] >= '5';
  if (round_up && increment(all)) all.insert(all.begin(), '1');
  integer_part = all.substr(0, all.size() - static_cast<std::size_t>(decimals));
  fraction = all.substr(all.size() - static_cast<std::size_t>(decimals));
}

// |value| != 0 rounded to `digits` significant digits as 0.d1d2...dd times 10^exponent.
void scientific_digits(double magnitude, int digits, std::string& mantissa, int& exponent) {
  const std::string exact = exact_digits(magnitude, std::chars_format::scientific, kExtraDigits);
  auto e = exact.find('e');
  std::string all = exact.substr(0, 1) + exact.substr(2, e - 2);
  exponent = std::atoi(exact.c_str() + e + 1) + 1;
  mantissa = all.substr(0, static_cast<std::size_t>(digits));
  if (all[static_cast<std::size_t>(digits)] >= '5' && increment(mantissa)) {
    mantissa.insert(mantissa.begin(), '1');
    mantissa.pop_back();
    ++exponent;
  }
}

struct Descriptor {
  char kind;  // '/', 'X', 'A', 'I', 'F', 'E', 'G'
  int width = 0;
  int decimals = 0;
};

std::vector<Descriptor> parse(std::string_view format) {
  std::vector<Descriptor> list;
  std::size_t i = 0;
  auto number = [&]() {
    int value = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
      value = value * 10 + (format[i++] - '0');
    return value;
  };
  while (i < format.size()) {
    char c = format[i];
    if (c == '(' || c == ')' || c == ',' || c == ' ') {
      ++i;
      continue;
    }
    if (c == '/') {
      list.push_back({'/'});
      ++i;
      continue;
    }
    int repeat = std::isdigit(static_cast<unsigned char>(c)) ? number() : 1;
    char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(format[i++])));
    if (kind == 'X') {
      list.push_back({'X', repeat});
      continue;
    }
    Descriptor d{kind};
    d.width = number();
    if (i < format.size() && format[i] == '.') {
      ++i;
      d.decimals = number();
    }
    for (int r = 0; r < repeat; ++r) list.push_back(d);
  }
  return list;
}

std::string edit(const Descriptor& d, const FormatItem& item) {
  switch (d.kind) {
    case 'A':
      return d.width == 0 ? std::string(item.text) : edit_a(item.text, d.width);
    case 'I':
      return edit_i(item.integer, d.width);
    case 'F':
      return edit_f(item.real, d.width, d.decimals);
    case 'E':
      return edit_e(item.real, d.width, d.decimals);
    default:
      return edit_g(item.real, d.width, d.decimals);
  }
}

}  // namespace

std::string edit_i(std::int64_t value, int width) { return right_align(std::to_string(value), width); }

std::string edit_a(std::string_view text, int width) {
  if (static_cast<int>(text.size()) >= width)
    return std::string(text.substr(0, static_cast<std::size_t>(width)));
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + std::string(text);
}

std::string edit_f(double value, int width, int decimals) {
  std::string out;
  if (non_finite(value, width, out)) return out;
  std::string integer_part, fraction;
  fixed_digits(std::fabs(value), decimals, integer_part, fraction);
  bool all_zero = (integer_part + fraction).find_first_not_of('0') == std::string::npos;
  std::string sign = std::signbit(value) && !all_zero ? "-" : "";
  std::string body = integer_part + "." + fraction;
  if (decimals == 0) body = integer_part + ".";
  int length = static_cast<int>(sign.size() + body.size());
  // The leading zero goes only where the field is exactly one column too narrow for it.
  if (length == width + 1 && integer_part == "0") body.erase(0, 1);
  return right_align(sign + body, width);
}

std::string edit_e(double value, int width, int digits) {
  std::string out;
  if (non_finite(value, width, out)) return out;
  std::string mantissa(static_cast<std::size_t>(digits), '0');
  int exponent = 0;
  if (value != 0.0) scientific_digits(std::fabs(value), digits, mantissa, exponent);
  char tail[16];
  if (std::abs(exponent) <= 99)
    std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  else  // a three-digit exponent takes the place of the E
    std::snprintf(tail, sizeof tail, "%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
  std::string sign = std::signbit(value) && value != 0.0 ? "-" : "";
  std::string body = "0." + mantissa + tail;
  if (static_cast<int>(sign.size() + body.size()) > width) body.erase(0, 1);
  return right_align(sign + body, width);
}

std::string edit_g(double value, int width, int digits) {
  std::string out;
  if (non_finite(value, width, out)) return out;
  int before_point = 1;  // digits before the decimal point of the fixed form; 1 for zero
  if (value != 0.0) {
    std::string mantissa;
    scientific_digits(std::fabs(value), digits, mantissa, before_point);
    if (before_point < 0 || before_point > digits) return edit_e(value, width, digits);
  }
  return edit_f(value, width - 4, digits - before_point) + "    ";
}

std::string format_record(std::string_view format, std::initializer_list<FormatItem> items) {
  return format_record(format, std::span<const FormatItem>(items.begin(), items.size()));
}

std::string format_record(std::string_view format, std::span<const FormatItem> items) {
  std::vector<Descriptor> list = parse(format);
  std::string out;
  auto item = items.begin();
  std::size_t k = 0;
  while (true) {
    if (k == list.size()) {
      if (item == items.end()) break;
      out += '\n';  // items left over: the format starts again on a new record
      k = 0;
    }
    const Descriptor& d = list[k++];
    if (d.kind == '/') {
      out += '\n';
    } else if (d.kind == 'X') {
      out.append(static_cast<std::size_t>(d.width), ' ');
    } else {
      if (item == items.end()) break;
      out += edit(d, *item++);
    }
  }
  return out + '\n';
}

}  // namespace trov
