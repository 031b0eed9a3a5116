#include "plotlib/draw/wmf_device.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "plotlib/draw/font_metrics.h"

namespace plotlib {
namespace {

enum : std::uint16_t {
  kEof = 0x0000,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kSelectObject = 0x012D,
  kDeleteObject = 0x01F0,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kRectangle = 0x041B,
  kTextOut = 0x0521,
};

constexpr int kAnisotropic = 8;
constexpr int kTransparent = 1;
constexpr std::size_t kFaceLength = 32;

// Coordinates of the format are 16-bit.
std::uint16_t word(int v) { return static_cast<std::uint16_t>(std::clamp(v, -32768, 32767)); }

// COLORREF 0x00BBGGRR as two words, low first.
std::vector<std::uint16_t> colour_words(WmfWriter::Colour c) {
  return {static_cast<std::uint16_t>(c.r | (c.g << 8)), c.b};
}

int to_metafile(double plot_units) { return static_cast<int>(std::lround(plot_units * kMetafileScale)); }

}  // namespace

std::optional<std::string> versioned_file_name(const std::string& name) {
  namespace fs = std::filesystem;
  if (!fs::exists(name)) return name;
  // "_n" goes before the extension of the last path component
  const std::size_t slash = name.find_last_of('/');
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = name.size();
  for (int n = 1; n <= 999; ++n) {
    std::string candidate = name.substr(0, dot) + "_" + std::to_string(n) + name.substr(dot);
    if (!fs::exists(candidate)) return candidate;
  }
  return std::nullopt;
}

void WmfWriter::record(std::uint16_t function, const std::vector<std::uint16_t>& params) {
  const auto size = static_cast<std::uint32_t>(3 + params.size());  // in words, with the size and function
  words_.push_back(static_cast<std::uint16_t>(size & 0xFFFF));
  words_.push_back(static_cast<std::uint16_t>(size >> 16));
  words_.push_back(function);
  words_.insert(words_.end(), params.begin(), params.end());
  max_record_ = std::max(max_record_, size);
}

void WmfWriter::record(std::uint16_t function, std::initializer_list<int> params) {
  std::vector<std::uint16_t> w;
  for (const int p : params) w.push_back(word(p));
  record(function, w);
}

// Each new object takes the lowest free slot; the header records how large the table grew.
int WmfWriter::new_object() {
  auto free = std::find(objects_.begin(), objects_.end(), false);
  if (free == objects_.end()) free = objects_.insert(objects_.end(), false);
  *free = true;
  max_objects_ = std::max(max_objects_, objects_.size());
  return static_cast<int>(free - objects_.begin());
}

void WmfWriter::set_map_mode_anisotropic() { record(kSetMapMode, {kAnisotropic}); }
// The platform stores the coordinates of a call in reverse order: y before x.
void WmfWriter::set_window_org(int x, int y) { record(kSetWindowOrg, {y, x}); }
void WmfWriter::set_window_ext(int width, int height) { record(kSetWindowExt, {height, width}); }
void WmfWriter::set_bk_mode_transparent() { record(kSetBkMode, {kTransparent}); }
void WmfWriter::set_text_colour(Colour c) { record(kSetTextColor, colour_words(c)); }

int WmfWriter::create_pen(Colour c) {
  std::vector<std::uint16_t> params = {0 /* solid */, 1, 0};  // style, width x, width y
  const auto cw = colour_words(c);
  params.insert(params.end(), cw.begin(), cw.end());
  record(kCreatePenIndirect, params);
  return new_object();
}

int WmfWriter::create_brush(Colour c) {
  std::vector<std::uint16_t> params = {0 /* solid */};
  const auto cw = colour_words(c);
  params.insert(params.end(), cw.begin(), cw.end());
  params.push_back(0);  // hatch, unused for a solid brush
  record(kCreateBrushIndirect, params);
  return new_object();
}

int WmfWriter::create_font(int height, int escapement, int weight, bool italic, const std::string& face) {
  std::vector<std::uint16_t> params = {word(height), 0, word(escapement), word(escapement), word(weight)};
  // italic, underline / strike-out, charset (ANSI) / out precision, clip precision / quality, pitch and
  // family
  params.push_back(static_cast<std::uint16_t>(italic ? 1 : 0));
  params.push_back(0);
  params.push_back(0);
  params.push_back(0);
  std::string name = face.substr(0, kFaceLength - 1);
  name.resize(kFaceLength, '\0');
  for (std::size_t i = 0; i < kFaceLength; i += 2)
    params.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(name[i]) |
                                                (static_cast<unsigned char>(name[i + 1]) << 8)));
  record(kCreateFontIndirect, params);
  return new_object();
}

void WmfWriter::select_object(int index) { record(kSelectObject, {index}); }

void WmfWriter::delete_object(int index) {
  record(kDeleteObject, {index});
  objects_[static_cast<std::size_t>(index)] = false;
}

void WmfWriter::move_to(int x, int y) { record(kMoveTo, {y, x}); }
void WmfWriter::line_to(int x, int y) { record(kLineTo, {y, x}); }
void WmfWriter::rectangle(int left, int top, int right, int bottom) {
  record(kRectangle, {bottom, right, top, left});
}

void WmfWriter::text_out(int x, int y, const std::string& text) {
  std::vector<std::uint16_t> params = {static_cast<std::uint16_t>(text.size())};
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(text[i]);
    const auto hi = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    params.push_back(static_cast<std::uint16_t>(lo | (hi << 8)));
  }
  params.push_back(word(y));
  params.push_back(word(x));
  record(kTextOut, params);
}

std::vector<std::uint8_t> WmfWriter::finish() {
  record(kEof, std::vector<std::uint16_t>{});
  const auto size = static_cast<std::uint32_t>(9 + words_.size());
  // type 1, header of 9 words, version 3.0, file size, objects, largest record, no parameters
  const std::vector<std::uint16_t> header = {1,
                                             9,
                                             0x0300,
                                             static_cast<std::uint16_t>(size & 0xFFFF),
                                             static_cast<std::uint16_t>(size >> 16),
                                             static_cast<std::uint16_t>(max_objects_),
                                             static_cast<std::uint16_t>(max_record_ & 0xFFFF),
                                             static_cast<std::uint16_t>(max_record_ >> 16),
                                             0};
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * size);
  for (const auto* part : std::array<const std::vector<std::uint16_t>*, 2>{&header, &words_})
    for (const std::uint16_t w : *part) {
      bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
  return bytes;
}

bool WmfDevice::open(int xmax, int ymax) {
  file_.open(file_name_, std::ios::binary | std::ios::trunc);
  if (!file_) return false;

  writer_.set_map_mode_anisotropic();
  writer_.set_window_org(0, 0);
  // page size in twips, plus a margin of 20
  const int width = to_metafile(xmax + 1) + 20, height = to_metafile(ymax + 1) + 20;
  writer_.set_window_ext(width, height);
  writer_.set_bk_mode_transparent();
  // white page, black drawing
  colour({255, 255, 255});
  const int brush = writer_.create_brush({255, 255, 255});
  writer_.select_object(brush);
  writer_.rectangle(0, 0, width, height);
  colour({0, 0, 0});
  return true;
}

// A colour change: a new solid pen replaces the previous one, and text takes the same colour.
void WmfDevice::colour(WmfWriter::Colour c) {
  const int pen = writer_.create_pen(c);
  writer_.select_object(pen);
  if (pen_ >= 0) writer_.delete_object(pen_);
  pen_ = pen;
  writer_.set_text_colour(c);
}

void WmfDevice::move(PagePoint p) { writer_.move_to(to_metafile(p.x), to_metafile(p.y)); }

void WmfDevice::draw(PagePoint p) { writer_.line_to(to_metafile(p.x), to_metafile(p.y)); }

void WmfDevice::text(const TextRun& run) {
  const int height = to_metafile(run.height);
  if (font_ < 0 || height != font_height_ || run.angle != font_angle_ || font_spec_.face != font_face_ ||
      font_spec_.bold != font_bold_ || font_spec_.italic != font_italic_) {
    const int font = writer_.create_font(height, 10 * run.angle, font_spec_.bold ? 700 : 400,
                                         font_spec_.italic, font_spec_.face);
    writer_.select_object(font);
    if (font_ >= 0) writer_.delete_object(font_);
    font_ = font;
    font_height_ = height;
    font_angle_ = run.angle;
    font_face_ = font_spec_.face;
    font_bold_ = font_spec_.bold;
    font_italic_ = font_spec_.italic;
  }
  // the point given to the platform is the top left corner of the character cell, which starts the
  // leading above the text box
  const int offset = text_offset(height);
  const double a = run.angle * std::numbers::pi / 180.0;
  for (std::size_t i = 0; i < run.text.size(); ++i) {
    const double x = run.char_x(i) * kMetafileScale - offset * std::sin(a);
    const double y = run.char_y(i) * kMetafileScale - offset * std::cos(a);
    writer_.text_out(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)),
                     run.text.substr(i, 1));
  }
}

bool WmfDevice::close() {
  const std::vector<std::uint8_t> bytes = writer_.finish();
  file_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file_.close();
  return !file_.fail();
}

}  // namespace plotlib
