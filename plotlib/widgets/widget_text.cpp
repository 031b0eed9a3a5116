#include "plotlib/widgets/widget_text.h"

#include <algorithm>
#include <cctype>

namespace plotlib {

std::string cut(std::string_view text, std::size_t length) { return std::string(text.substr(0, length)); }

std::string_view trim_right(std::string_view text) {
  const auto end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

bool keyword_is(std::string_view given, std::string_view keyword) {
  constexpr std::size_t significant = 4;
  const std::string_view a = trim_right(given.substr(0, significant));
  const std::string_view b = keyword.substr(0, significant);
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::vector<std::string> split_items(std::string_view list_text) {
  constexpr char separator = '|';
  std::vector<std::string> items;
  std::string_view rest = trim_right(list_text);
  if (rest.empty()) return items;
  for (;;) {
    const auto bar = rest.find(separator);
    items.emplace_back(rest.substr(0, bar));
    if (bar == std::string_view::npos) return items;
    rest.remove_prefix(bar + 1);
  }
}

std::string literal_label(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '@') out += '@';
    out += c;
  }
  return out;
}

}  // namespace plotlib
