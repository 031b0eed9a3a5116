#pragma once
// The encodings spreadsheets write tables in, turned into UTF-8: UTF-8 (with or without a byte-order
// mark), UTF-16 of either byte order with its byte-order mark ("Unicode text"), and Windows-1252 (the
// Latin-1 of Western Windows, whose exports are not UTF-8). Others are refused by name.
#include <optional>
#include <string>
#include <string_view>

namespace trov::import {

// The text in UTF-8 (a byte-order mark dropped) and the encoding it was read in ("UTF-8", "UTF-16" or
// "Windows-1252"); or why the bytes are no text the import reads. Bytes that are not UTF-8 are taken
// as Windows-1252 only when nothing else speaks against it: no byte it leaves undefined, no control
// byte but tab and line ends, and no UTF-8 sequence elsewhere in the text.
std::optional<std::string> decode_text(std::string_view bytes, std::string& text, std::string& encoding);

// A name (of a file) as UTF-8 text: as it is when it is UTF-8, else each byte as Windows-1252 (one it
// leaves undefined as U+FFFD).
std::string name_as_utf8(std::string_view name);

}  // namespace trov::import
