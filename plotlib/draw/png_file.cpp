#include "plotlib/draw/png_file.h"

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string_view>

namespace plotlib {

namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
constexpr std::size_t kIhdrEnd = 8 + 4 + 4 + 13 + 4;  // signature, length, type, data, CRC

void put_uint32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xff);
}

std::uint32_t get_uint32(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
  return v;
}

// A chunk: its length, type, data and the CRC of type and data.
std::string chunk(std::string_view type, std::string_view data) {
  std::string out;
  put_uint32(out, static_cast<std::uint32_t>(data.size()));
  std::string body(type);
  body += data;
  out += body;
  put_uint32(out, static_cast<std::uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  return out;
}

cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string with_resolution(std::string png, double dots_per_inch) {
  if (png.size() < kIhdrEnd || std::string_view(png).substr(0, 8) != kSignature ||
      std::string_view(png).substr(12, 4) != "IHDR")
    return png;
  // a pHYs chunk cairo might write one day goes; chunks are walked from the header on
  for (std::size_t at = kIhdrEnd; at + 12 <= png.size();) {
    const std::size_t length = get_uint32(png, at);
    const std::string_view type = std::string_view(png).substr(at + 4, 4);
    if (type == "IDAT" || at + 12 + length > png.size()) break;
    if (type == "pHYs") {
      png.erase(at, 12 + length);
      continue;
    }
    at += 12 + length;
  }
  const auto per_metre = static_cast<std::uint32_t>(std::lround(dots_per_inch / 0.0254));
  std::string data;
  put_uint32(data, per_metre);
  put_uint32(data, per_metre);
  data += '\x01';  // the unit is the metre
  png.insert(kIhdrEnd, chunk("pHYs", data));
  return png;
}

bool write_png_file(cairo_surface_t* surface, const std::string& name, double dots_per_inch) {
  std::string png;
  if (cairo_surface_write_to_png_stream(surface, append, &png) != CAIRO_STATUS_SUCCESS) return false;
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file << with_resolution(std::move(png), dots_per_inch);
  return static_cast<bool>(file.flush());
}

}  // namespace plotlib
