#pragma once
// PNG files that carry their resolution. cairo's PNG writer gives none, so a reader (a journal's figure
// checker, an office program) takes 72 dpi and a figure drawn at 300 dpi comes out four times its size.
#include <cairo.h>

#include <string>

namespace plotlib {

// Writes the image surface to `name` as PNG with a pHYs chunk of `dots_per_inch` (in dots per metre, as
// the format keeps it); false when the file could not be written whole.
bool write_png_file(cairo_surface_t* surface, const std::string& name, double dots_per_inch);

// The PNG bytes with a pHYs chunk after the header chunk (IHDR), replacing one that is there; the bytes
// unchanged when they are no PNG.
std::string with_resolution(std::string png, double dots_per_inch);

}  // namespace plotlib
