#include "common/utf8.h"

namespace trov {

std::size_t utf8_length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  // the sequence's length, and the range its second byte must lie in
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3;
    if (c == 0xe0) low = 0xa0;   // overlong
    if (c == 0xed) high = 0x9f;  // surrogates
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4;
    if (c == 0xf0) low = 0x90;   // overlong
    if (c == 0xf4) high = 0x8f;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
  return length;
}

bool valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace trov
