#include "import/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

#include "common/utf8.h"

namespace trov::import {

namespace {

// The 1-based line of the text at this byte (LF, CR LF or a lone CR end a line).
int line_at(std::string_view text, std::size_t offset) {
  int line = 1;
  for (std::size_t k = 0; k < offset && k < text.size(); ++k)
    if (text[k] == '\n' || (text[k] == '\r' && (k + 1 == text.size() || text[k + 1] != '\n'))) ++line;
  return line;
}

std::string hex(unsigned char byte) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", byte);
  return buffer;
}

// The bytes converted from `from` to UTF-8 by iconv: true, or false with `out` holding what converted
// before the first byte that does not, at offset `bad`.
bool convert(const char* from, std::string_view bytes, std::string& out, std::size_t& bad) {
  out.assign(bytes.size() * 3 + 4, '\0');  // a UTF-16 unit or a single byte takes at most 3 bytes
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size(), out_left = out.size();
  char* to = out.data();
  iconv_t cd = iconv_open("UTF-8", from);
  const bool done = cd != reinterpret_cast<iconv_t>(-1) &&
                    iconv(cd, &in, &in_left, &to, &out_left) != static_cast<std::size_t>(-1) && in_left == 0;
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  out.resize(out.size() - out_left);
  bad = bytes.size() - in_left;
  return done;
}

// Text in UTF-16 without its byte-order mark: among its first units, every one has a zero byte on the
// same side (as ASCII text has).
bool looks_like_utf16(std::string_view bytes) {
  if (bytes.size() < 4) return false;
  bool even = true, odd = true;
  for (std::size_t k = 0; k + 1 < bytes.size() && k < 256; k += 2) {
    even = even && bytes[k] == '\0' && bytes[k + 1] != '\0';
    odd = odd && bytes[k + 1] == '\0' && bytes[k] != '\0';
  }
  return even || odd;
}

constexpr const char* kSaveAsUtf8 = "save the table as CSV UTF-8";

std::optional<std::string> windows_1252(std::string_view bytes, std::string& text) {
  bool utf8_sequence = false;
  std::size_t first_bad = std::string_view::npos;
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    const auto c = static_cast<unsigned char>(bytes[k]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f)
      return "is not UTF-8 and holds the control byte " + hex(c) + " (line " +
             std::to_string(line_at(bytes, k)) + "): not a text table? (" + kSaveAsUtf8 + ")";
    if (c < 0x80) continue;
    if (const std::size_t length = utf8_length(bytes, k)) {
      utf8_sequence = true;
      k += length - 1;
    } else if (first_bad == std::string_view::npos) {
      first_bad = k;
    }
  }
  if (utf8_sequence)
    return "mixes UTF-8 with bytes that are not UTF-8 (byte " +
           hex(static_cast<unsigned char>(bytes[first_bad])) + ", line " +
           std::to_string(line_at(bytes, first_bad)) + "): " + kSaveAsUtf8;
  std::size_t bad = 0;
  if (convert("CP1252", bytes, text, bad)) return std::nullopt;
  return "is neither UTF-8 nor Windows-1252 (Latin-1) text (byte " +
         hex(static_cast<unsigned char>(bytes[bad])) + ", line " + std::to_string(line_at(bytes, bad)) +
         "): " + kSaveAsUtf8;
}

}  // namespace

std::optional<std::string> decode_text(std::string_view bytes, std::string& text, std::string& encoding) {
  text.clear();
  encoding = "UTF-8";
  if (bytes.starts_with("PK\x03\x04"))
    return std::string("is a workbook (.xlsx or .ods), not a text table: save the sheet as CSV");
  if (bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
    return std::string("is a workbook (.xls), not a text table: save the sheet as CSV");
  if (bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
      bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4)))
    return std::string(
        "is UTF-32 text, which the import does not read: save the table as CSV UTF-8 (or UTF-16)");
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    encoding = "UTF-16";
    const char* from = bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
    std::size_t bad = 0;
    if (convert(from, bytes.substr(2), text, bad)) return std::nullopt;
    return "is not valid UTF-16: an unpaired surrogate or a lone byte (line " +
           std::to_string(line_at(text, text.size())) + "); " + kSaveAsUtf8;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    if (!valid_utf8(bytes))
      return std::string("is not valid UTF-8 after its UTF-8 byte-order mark: ") + kSaveAsUtf8;
  }
  if (valid_utf8(bytes)) {
    if (looks_like_utf16(bytes))
      return std::string(
          "is UTF-16 text without a byte-order mark: save it with one (as spreadsheets write \"Unicode "
          "text\"), or as CSV UTF-8");
    text = bytes;
    return std::nullopt;
  }
  encoding = "Windows-1252";
  return windows_1252(bytes, text);
}

std::string name_as_utf8(std::string_view name) {
  if (valid_utf8(name)) return std::string(name);
  std::string text, part;
  std::size_t bad = 0;
  while (!convert("CP1252", name, part, bad)) {
    text += part + "\xEF\xBF\xBD";
    if (bad >= name.size()) return text;
    name.remove_prefix(bad + 1);
  }
  return text + part;
}

}  // namespace trov::import
