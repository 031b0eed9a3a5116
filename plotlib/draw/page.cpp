// Device and page choice, disini and the settings, disfin with the end-of-plot report.
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "plotlib/draw/font_metrics.h"
#include "plotlib/draw/plotlib.h"
#include "plotlib/draw/screen_device.h"
#include "plotlib/draw/state.h"
#include "plotlib/draw/wmf_device.h"

namespace plotlib {
namespace detail {

State& state() {
  static State s;
  return s;
}

int nint(double v) { return static_cast<int>(std::lround(v)); }

void warn(int number, std::string_view routine, WarningParameter parameter, std::string_view own_text) {
  ++state().warnings;
  write_message(warning_line(number, routine, parameter, own_text) + "\n");
}

bool level_ok(std::string_view routine, int lo, int hi) {
  const int level = state().level;
  if (level >= lo && level <= hi) return true;
  warn(3, routine, level);
  return false;
}

void move_to(PagePoint p) {
  State& s = state();
  if (s.pen_valid && s.pen == p) return;
  s.device->move(p);
  s.pen = p;
  s.pen_valid = true;
}

void line_to(PagePoint p) {
  State& s = state();
  s.device->draw(p);
  ++s.vectors;
  s.pen = p;
  s.pen_valid = true;
}

void line(PagePoint from, PagePoint to) {
  move_to(from);
  line_to(to);
}

void draw_text(std::string_view text, double x, double y, int height, int angle) {
  TextRun run{std::string(text), x, y, height, angle, {}};
  double along = 0.0;
  for (const char c : text) {
    run.advance.push_back(along);
    along += char_width(static_cast<unsigned char>(c), height);
  }
  state().device->text(run);
}

namespace {

constexpr double kPageLimit = 1e6;

double limit(double v) { return std::clamp(v, -kPageLimit, kPageLimit); }

}  // namespace

// x lies at nxa + (x - xa)(nxl - 1)/(xe - xa)
double scale_x(double x) {
  const State& s = state();
  return limit(s.nxa + (x - s.xscale.a) * (s.nxl - 1) / (static_cast<double>(s.xscale.e) - s.xscale.a));
}

// y lies at nya - (y - ya)(nyl - 1)/(ye - ya)
double scale_y(double y) {
  const State& s = state();
  return limit(s.nya - (y - s.yscale.a) * (s.nyl - 1) / (static_cast<double>(s.yscale.e) - s.yscale.a));
}

}  // namespace detail

using detail::level_ok;
using detail::state;
using detail::warn;

namespace {

struct PageFormat {
  std::string_view keyword;  // landscape form; "P" as fourth letter swaps the sides
  int xmax, ymax;
};

constexpr std::array<PageFormat, 10> kPages = {{{"DA4L", 2969, 2099},
                                                {"DA3L", 4199, 2969},
                                                {"DA2L", 5939, 4199},
                                                {"DA1L", 8399, 5939},
                                                {"HP4L", 2716, 1899},
                                                {"HP3L", 3989, 2716},
                                                {"HP2L", 5339, 3359},
                                                {"HP1L", 7569, 5339},
                                                {"KY4L", 2869, 1999},
                                                {"PS4L", 2799, 1949}}};

constexpr std::size_t kTextLength = 60;
constexpr std::size_t kFileNameLength = 80;

// The first four characters in capitals: keywords count that far, in any case.
std::string keyword4(std::string_view word) {
  std::string key(word.substr(0, 4));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// Which of the axes X, Y and Z a short text names (first three characters, any case).
struct Axes {
  bool x = false, y = false, z = false;
  bool any() const { return x || y || z; }
};

Axes parse_axes(std::string_view text) {
  Axes axes;
  for (const char c : text.substr(0, 3)) {
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    axes.x = axes.x || u == 'X';
    axes.y = axes.y || u == 'Y';
    axes.z = axes.z || u == 'Z';
  }
  return axes;
}

bool in_range(int v, int lo, int hi) { return v >= lo && v <= hi; }

constexpr std::string_view kNoFreeName = "More than 999 file versions!";

// The device metafl chose; none when the metafile has no free name left.
std::unique_ptr<Device> make_device(const detail::State& s) {
  switch (s.device_kind) {
    case detail::DeviceKind::screen:
      return make_screen_device();
    case detail::DeviceKind::metafile: {
      const auto name = versioned_file_name(s.file_name.empty() ? "plotlib.wmf" : s.file_name);
      if (!name) return nullptr;
      return std::make_unique<WmfDevice>(*name);
    }
    case detail::DeviceKind::recording:
      return std::make_unique<RecordingDevice>();
  }
  return nullptr;
}

// Each line of the report has a line end before it; the last one also after it.
std::string report(const detail::State& s) {
  std::string text;
  char line[160];
  const auto add = [&text](const char* l) {
    text += '\n';
    text += l;
  };
  const std::string frame = " " + std::string(66, '<');
  add(frame.c_str());

  std::snprintf(line, sizeof line, " <<%16sEND OF PLOTLIB / VERSION %4.1f %c%16s<<", "", 7.3, ' ', "");
  add(line);

  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm t{};
  localtime_r(&now, &t);
  char date[32], time[32];
  std::snprintf(date, sizeof date, "%02d.%02d.%4d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  std::snprintf(line, sizeof line, " <<  Date    : %10s  Time    : %8s  Pageformat: %4s  <<", date, time,
                s.page_keyword.c_str());
  add(line);

  // counts written as "%10d" and "%8d", then left-aligned without their leading blanks
  char vectors[32], warnings[32];
  std::snprintf(vectors, sizeof vectors, "%ld", s.vectors);
  std::snprintf(warnings, sizeof warnings, "%ld", s.warnings);
  const std::string device(s.device->keyword());
  std::snprintf(line, sizeof line, " <<  Vectors : %-10s  Warnings: %-8s  Fileformat: %4s  <<", vectors,
                warnings, device.c_str());
  add(line);

  const std::string file = s.device->file_name().substr(0, 48);
  std::snprintf(line, sizeof line, " <<  Metafile: %-48s  <<", file.c_str());
  add(line);

  add(frame.c_str());
  return text + '\n';
}

}  // namespace

void metafl(std::string_view keyword) {
  if (!level_ok("metafl", 0, 0)) return;
  const std::string key = keyword4(keyword);
  detail::State& s = state();
  if (key == "XWIN")
    s.device_kind = detail::DeviceKind::screen;
  else if (key == "WMF")
    s.device_kind = detail::DeviceKind::metafile;
  else if (key == "REC")
    s.device_kind = detail::DeviceKind::recording;
  else
    warn(2, "metafl", keyword);
}

void setfil(std::string_view name) {
  if (!level_ok("setfil", 0, 0)) return;
  std::string file(name.substr(0, kFileNameLength));
  file.erase(file.find_last_not_of(' ') + 1);  // names come padded with blanks
  state().file_name = file;
}

void setpag(std::string_view keyword) {
  if (!level_ok("setpag", 0, 0)) return;
  const std::string key = keyword4(keyword);
  for (const PageFormat& page : kPages) {
    if (key.size() == 4 && key.substr(0, 3) == page.keyword.substr(0, 3) &&
        (key[3] == 'L' || key[3] == 'P')) {
      detail::State& s = state();
      s.page_keyword = key;
      s.xmax = key[3] == 'L' ? page.xmax : page.ymax;
      s.ymax = key[3] == 'L' ? page.ymax : page.xmax;
      return;
    }
  }
  warn(2, "setpag", keyword);
}

std::optional<std::string> disini() {
  if (!level_ok("disini", 0, 0)) return std::nullopt;
  detail::State& s = state();
  s.device.reset();  // the screen window of a previous plot is gone already; a recording is replaced
  s.vectors = 0;
  s.warnings = 0;
  s.pen_valid = false;

  s.label_height = 36;
  s.name_height = 36;
  // the default axis system leaves room for labels and titles on every page
  s.nxa = detail::nint(0.15 * s.xmax);
  s.nya = detail::nint(0.85 * s.ymax);
  s.nxl = detail::nint(0.7 * s.xmax);
  s.nyl = detail::nint(0.6 * s.ymax);
  s.xaxis = {};
  s.yaxis = {};
  s.titles = {};
  s.symbol_size = 36;
  s.marker_step = 0;
  s.symbol = 0;
  s.line_style = detail::LineStyle::solid;
  s.font_name.clear();

  s.device = make_device(s);
  if (!s.device) return std::string(kNoFreeName);
  // a device that cannot open has said why on the screen; a file that cannot be written gets a warning
  if (!s.device->open(s.xmax, s.ymax)) {
    if (!s.device->file_name().empty()) warn(36, "disini", s.device->file_name());
    return std::nullopt;
  }
  s.device->font(FontSpec::from_name("Arial"));
  s.level = 1;
  return std::nullopt;
}

void pagera() {
  if (!level_ok("pagera", 1, 2)) return;
  const detail::State& s = state();
  // (0, 0) -> (0, ymax) -> (xmax, ymax) -> (xmax, 0) -> (0, 0)
  detail::move_to({0, 0});
  detail::line_to({0, s.ymax});
  detail::line_to({s.xmax, s.ymax});
  detail::line_to({s.xmax, 0});
  detail::line_to({0, 0});
}

void height(int n) {
  if (!level_ok("height", 1, 2)) return;
  if (!in_range(n, 1, 10000)) return warn(2, "height", n);
  state().label_height = n;
}

void hname(int n) {
  if (!level_ok("hname", 1, 2)) return;
  if (!in_range(n, 1, 10000)) return warn(2, "hname", n);
  state().name_height = n;
}

void winfnt(std::string_view name) {
  if (!level_ok("winfnt", 1, 2)) return;
  detail::State& s = state();
  if (!s.device->takes_window_fonts()) return warn(101, "winfnt", {}, "Window fonts cannot be used");
  s.font_name = std::string(name);
  s.device->font(FontSpec::from_name(name));
}

void axspos(int nxa, int nya) {
  if (!level_ok("axspos", 1, 1)) return;
  detail::State& s = state();
  if (!in_range(nxa, 0, s.xmax)) return warn(2, "axspos", nxa);
  if (!in_range(nya, 0, s.ymax)) return warn(2, "axspos", nya);
  s.nxa = nxa;
  s.nya = nya;
}

void axslen(int nxl, int nyl) {
  if (!level_ok("axslen", 1, 1)) return;
  detail::State& s = state();
  if (!in_range(nxl, 2, s.xmax)) return warn(2, "axslen", nxl);
  if (!in_range(nyl, 2, s.ymax)) return warn(2, "axslen", nyl);
  s.nxl = nxl;
  s.nyl = nyl;
}

void labdig(int n, std::string_view axes) {
  if (!level_ok("labdig", 1, 2)) return;
  if (!in_range(n, -1, 100)) return warn(2, "labdig", n);
  // digits of other plot types, which this library does not draw
  const std::string key = keyword4(axes).substr(0, 3);
  if (key == "BAR" || key == "CON" || key == "PIE" || key == "DAT" || key == "PER") return;
  const Axes which = parse_axes(axes);
  if (!which.any()) return warn(2, "labdig", axes);
  detail::State& s = state();
  if (which.x) s.xaxis.digits = n;
  if (which.y) s.yaxis.digits = n;
}

void ticks(int n, std::string_view axes) {
  if (!level_ok("ticks", 1, 2)) return;
  if (!in_range(n, 0, 1000)) return warn(2, "ticks", n);
  const Axes which = parse_axes(axes);
  if (!which.any()) return warn(2, "ticks", axes);
  detail::State& s = state();
  if (which.x) s.xaxis.ticks = n;
  if (which.y) s.yaxis.ticks = n;
}

void name(std::string_view text, std::string_view axes) {
  if (!level_ok("name", 1, 2)) return;
  const Axes which = parse_axes(axes);
  if (!which.any()) return warn(2, "name", axes);
  detail::State& s = state();
  if (which.x) s.xaxis.name = std::string(text.substr(0, kTextLength));
  if (which.y) s.yaxis.name = std::string(text.substr(0, kTextLength));
}

void titlin(std::string_view text, int n) {
  if (!level_ok("titlin", 1, 2)) return;
  if (n == 0 || n < -4 || n > 4) return warn(2, "titlin", n);
  state().titles[static_cast<std::size_t>(std::abs(n) - 1)] = {std::string(text.substr(0, kTextLength)),
                                                               n < 0};
}

void dash() {
  if (level_ok("dash", 1, 2)) state().line_style = detail::LineStyle::dashed;
}

void dashl() {
  if (level_ok("dashl", 1, 2)) state().line_style = detail::LineStyle::long_dashed;
}

void hsymbl(int n) {
  if (!level_ok("hsymbl", 1, 2)) return;
  if (!in_range(n, 1, 10000)) return warn(2, "hsymbl", n);
  state().symbol_size = n;
}

void incmrk(int n) {
  if (level_ok("incmrk", 1, 2)) state().marker_step = n;
}

void disfin() {
  if (!level_ok("disfin", 1, 2)) return;
  detail::State& s = state();
  // a file that could not be written whole: the same warning as one that could not be created
  if (!s.device->close()) warn(36, "disfin", s.device->file_name());
  s.level = 0;
  write_message(report(s));
}

const Recording* recording() {
  const auto* device = dynamic_cast<const RecordingDevice*>(state().device.get());
  return device ? &device->recording() : nullptr;
}

int level() { return state().level; }

}  // namespace plotlib
