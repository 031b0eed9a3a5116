#include "plotlib/draw/png_file.h"

#include <gtest/gtest.h>

#include <string>

namespace plotlib {
namespace {

// The resolution chunk stands right after the header, once, with its CRC (ImageMagick reads the files
// in the figure checks).
TEST(png_file_test, the_resolution_chunk_follows_the_header_once) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 3, 2);
  std::string png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* out, const unsigned char* data, unsigned int n) {
        static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(data), n);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  const std::string once = with_resolution(png, 300);
  // 300 dpi is 11811 dots per metre; the CRC is that of "pHYs" and the nine bytes
  const std::string expected("\0\0\0\x09pHYs\0\0\x2e\x23\0\0\x2e\x23\x01\x78\xa5\x3f\x76", 21);
  EXPECT_EQ(once.substr(33, 21), expected);
  EXPECT_EQ(once.size(), png.size() + 21);
  EXPECT_EQ(with_resolution(once, 300), once);  // a second pass replaces the chunk
  EXPECT_EQ(with_resolution("not a PNG", 300), "not a PNG");
}

}  // namespace
}  // namespace plotlib
