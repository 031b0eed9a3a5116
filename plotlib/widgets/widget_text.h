#pragma once
// Text handling shared by the widget routines: keywords, cut texts, list items, literal labels.
#include <string>
#include <string_view>
#include <vector>

namespace plotlib {

std::string cut(std::string_view text, std::size_t length);
std::string_view trim_right(std::string_view text);

// Keywords match on their first four characters, without regard to case ("status" is "STAT").
bool keyword_is(std::string_view given, std::string_view keyword);

// Items of a list text: trailing blanks dropped, then split at '|'. An empty text has no items.
std::vector<std::string> split_items(std::string_view list_text);

// FLTK draws "@x" in labels as a symbol; doubling '@' shows the text as given.
std::string literal_label(std::string_view text);

}  // namespace plotlib
