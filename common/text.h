#pragma once

#include <string_view>

namespace trov {

// The text without its leading and trailing blanks and tabs.
inline std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace trov
