#pragma once

#include <string_view>

namespace trov {

// True when the text is well-formed UTF-8: no stray or missing continuation bytes, no overlong forms,
// no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view text);

}  // namespace trov
