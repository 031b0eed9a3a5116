#pragma once

#include <cstddef>
#include <string_view>

namespace trov {

// The length of the well-formed UTF-8 sequence that starts at byte `i` (1 for ASCII), 0 where none
// does: a stray or missing continuation byte, an overlong form, a surrogate, beyond U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i);

// True when the text is well-formed UTF-8 throughout.
bool valid_utf8(std::string_view text);

}  // namespace trov
