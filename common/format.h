#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace trov {

// One item of a formatted output statement: an integer, a real or a text.
struct FormatItem {
  enum class Kind { integer, real, text };
  FormatItem(int v) : kind(Kind::integer), integer(v) {}
  FormatItem(std::int64_t v) : kind(Kind::integer), integer(v) {}
  FormatItem(double v) : kind(Kind::real), real(v) {}
  FormatItem(float v) : kind(Kind::real), real(v) {}
  FormatItem(std::string_view v) : kind(Kind::text), text(v) {}
  FormatItem(const char* v) : kind(Kind::text), text(v) {}
  FormatItem(const std::string& v) : kind(Kind::text), text(v) {}

  Kind kind;
  std::int64_t integer = 0;
  double real = 0.0;
  std::string_view text;
};

// Writes the items by a format such as "(f10.5,4x,f10.5,4x,2G16.8,i5)" and returns the records, each
// ended by a line end. Descriptors: "/", nX, A, Aw, Iw, Fw.d, Ew.d, Gw.d, with repeat counts; case does
// not matter. Output stops at the first data descriptor that finds no item left.
std::string format_record(std::string_view format, std::span<const FormatItem> items);
std::string format_record(std::string_view format, std::initializer_list<FormatItem> items);

// Single edit descriptors, for callers and tests.
std::string edit_i(std::int64_t value, int width);
std::string edit_f(double value, int width, int decimals);
std::string edit_e(double value, int width, int digits);
std::string edit_g(double value, int width, int digits);
std::string edit_a(std::string_view text, int width);

}  // namespace trov
