#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "plotlib/draw/font_metrics.h"
#include "plotlib/draw/plotlib.h"
#include "plotlib/draw/wmf_device.h"
#include "tests/plotlib/sample_plot.h"

namespace {

namespace fs = std::filesystem;
using plotlib::kMetafileScale;

struct WmfRecord {
  std::uint16_t function;
  std::vector<std::int16_t> params;
};

struct WmfFile {
  std::vector<std::uint16_t> header;
  std::vector<WmfRecord> records;
  std::size_t words = 0;
};

// Reads a standard metafile record by record; fails the test on a broken chain.
WmfFile read_wmf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::uint16_t> w(bytes.size() / 2);
  for (std::size_t i = 0; i < w.size(); ++i)
    w[i] = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  WmfFile file;
  file.words = w.size();
  EXPECT_EQ(bytes.size() % 2, 0u);
  if (w.size() < 9) return file;
  file.header.assign(w.begin(), w.begin() + 9);
  std::size_t at = 9;
  while (at + 3 <= w.size()) {
    const std::uint32_t size = w[at] | (static_cast<std::uint32_t>(w[at + 1]) << 16);
    EXPECT_GE(size, 3u);
    EXPECT_LE(at + size, w.size());
    if (size < 3 || at + size > w.size()) break;
    WmfRecord r{w[at + 2], {}};
    for (std::size_t k = at + 3; k < at + size; ++k) r.params.push_back(static_cast<std::int16_t>(w[k]));
    file.records.push_back(r);
    at += size;
    if (r.function == 0) break;
  }
  EXPECT_EQ(at, w.size()) << "the end record must close the file";
  return file;
}

class MetafileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plotlib_wmf_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    plotlib::set_message_stream(&messages_);
  }
  void TearDown() override {
    plotlib::set_message_stream(nullptr);
    plotlib::setfil("");
    fs::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
  std::ostringstream messages_;
};

int twips(double plot_units) { return static_cast<int>(std::lround(plot_units * kMetafileScale)); }

TEST_F(MetafileTest, standard_header_mapping_and_page_rectangle) {
  trov::test::sample_fitted_plot("WMF", path("fit.wmf"));
  const WmfFile f = read_wmf(dir_ / "fit.wmf");
  ASSERT_EQ(f.header.size(), 9u);
  EXPECT_EQ(f.header[0], 1);
  EXPECT_EQ(f.header[1], 9);
  EXPECT_EQ(f.header[2], 0x0300);
  EXPECT_EQ(f.header[3] | (f.header[4] << 16), static_cast<int>(f.words));
  EXPECT_EQ(f.header[8], 0);
  std::uint32_t largest = 0;
  for (const auto& r : f.records)
    largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(3 + r.params.size()));
  EXPECT_EQ(f.header[6] | (f.header[7] << 16), static_cast<int>(largest));
  ASSERT_GE(f.records.size(), 4u);
  EXPECT_EQ(f.records[0].function, 0x0103);
  EXPECT_EQ(f.records[0].params, (std::vector<std::int16_t>{8}));  // anisotropic
  EXPECT_EQ(f.records[1].function, 0x020B);
  EXPECT_EQ(f.records[1].params, (std::vector<std::int16_t>{0, 0}));
  // page in twips plus 20: 2970 x 5.669... = 16837.8, 2100 x 5.669... = 11905.5
  EXPECT_EQ(f.records[2].function, 0x020C);
  EXPECT_EQ(f.records[2].params, (std::vector<std::int16_t>{11926, 16858}));
  EXPECT_EQ(f.records[3].function, 0x0102);
  EXPECT_EQ(f.records[3].params, (std::vector<std::int16_t>{1}));  // transparent
  const auto rect =
      std::find_if(f.records.begin(), f.records.end(), [](const auto& r) { return r.function == 0x041B; });
  ASSERT_NE(rect, f.records.end());
  EXPECT_EQ(rect->params, (std::vector<std::int16_t>{11926, 16858, 0, 0}));
  EXPECT_EQ(f.records.back().function, 0);
}

TEST_F(MetafileTest, objects_are_replaced_without_deleting_a_selected_one) {
  trov::test::sample_fitted_plot("WMF", path("fit.wmf"));
  const WmfFile f = read_wmf(dir_ / "fit.wmf");
  std::vector<bool> used;
  std::map<int, std::uint16_t> kind;      // slot -> creating record
  std::map<std::uint16_t, int> selected;  // object kind -> selected slot
  int pens = 0, fonts = 0, text_colours = 0;
  std::set<int> escapements;
  for (const auto& r : f.records) {
    if (r.function == 0x02FA || r.function == 0x02FB || r.function == 0x02FC) {
      auto slot = std::find(used.begin(), used.end(), false);
      if (slot == used.end()) slot = used.insert(used.end(), false);
      *slot = true;
      kind[static_cast<int>(slot - used.begin())] = r.function;
      pens += r.function == 0x02FA;
      if (r.function == 0x02FB) {
        ++fonts;
        escapements.insert(r.params[2]);
        std::string face;
        for (std::size_t k = 9; k < r.params.size(); ++k) {
          face += static_cast<char>(r.params[k] & 0xFF);
          face += static_cast<char>((r.params[k] >> 8) & 0xFF);
        }
        EXPECT_STREQ(face.c_str(), "Arial");
      }
    } else if (r.function == 0x012D) {
      ASSERT_TRUE(used.at(static_cast<std::size_t>(r.params[0])));
      selected[kind[r.params[0]]] = r.params[0];
    } else if (r.function == 0x01F0) {
      EXPECT_NE(selected[kind[r.params[0]]], r.params[0]) << "deleting a selected object";
      used.at(static_cast<std::size_t>(r.params[0])) = false;
    } else if (r.function == 0x0209) {
      ++text_colours;
    }
  }
  EXPECT_EQ(f.header[5], used.size());
  EXPECT_EQ(pens, 2);  // white page, black drawing
  EXPECT_EQ(text_colours, pens);
  EXPECT_EQ(escapements, (std::set<int>{0, 900}));  // the vertical axis name reads upwards
  EXPECT_GE(fonts, 2);
}

// Segments and character positions of the metafile equal what the recording device received.
TEST_F(MetafileTest, lines_and_texts_land_where_the_recording_device_puts_them) {
  trov::test::sample_fitted_plot("WMF", path("fit.wmf"));
  trov::test::sample_fitted_plot("REC");
  const plotlib::Recording& rec = *plotlib::recording();
  const WmfFile f = read_wmf(dir_ / "fit.wmf");

  std::vector<std::array<int, 4>> lines, expected_lines;
  std::vector<std::array<int, 2>> text_points, expected_points;
  std::string chars, expected_chars;
  int pen_x = 0, pen_y = 0;
  for (const auto& r : f.records) {
    if (r.function == 0x0214) {
      pen_x = r.params[1];
      pen_y = r.params[0];
    } else if (r.function == 0x0213) {
      lines.push_back({pen_x, pen_y, r.params[1], r.params[0]});
      pen_x = r.params[1];
      pen_y = r.params[0];
    } else if (r.function == 0x0521) {
      ASSERT_EQ(r.params[0], 1) << "one character per text record";
      chars += static_cast<char>(r.params[1] & 0xFF);
      text_points.push_back({r.params[3], r.params[2]});
    }
  }
  for (const auto& s : rec.segments())
    expected_lines.push_back({twips(s.from.x), twips(s.from.y), twips(s.to.x), twips(s.to.y)});
  for (const auto& t : rec.texts()) {
    const int offset = plotlib::text_offset(twips(t.height));
    const double a = t.angle * std::numbers::pi / 180.0;
    for (std::size_t i = 0; i < t.text.size(); ++i) {
      expected_chars += t.text[i];
      expected_points.push_back(
          {static_cast<int>(std::lround(t.char_x(i) * kMetafileScale - offset * std::sin(a))),
           static_cast<int>(std::lround(t.char_y(i) * kMetafileScale - offset * std::cos(a)))});
    }
  }
  EXPECT_EQ(lines, expected_lines);
  EXPECT_EQ(chars, expected_chars);
  EXPECT_EQ(text_points, expected_points);
}

TEST_F(MetafileTest, existing_file_gets_a_numbered_version) {
  const std::string name = path("trov.wmf");
  EXPECT_EQ(plotlib::versioned_file_name(name), name);
  std::ofstream(name) << "x";
  EXPECT_EQ(plotlib::versioned_file_name(name), path("trov_1.wmf"));
  std::ofstream(path("trov_1.wmf")) << "x";
  trov::test::sample_grid_plot("WMF", name);
  EXPECT_TRUE(fs::exists(path("trov_2.wmf")));
  EXPECT_NE(messages_.str().find("Metafile: " + path("trov_2.wmf")), std::string::npos);
  EXPECT_EQ(plotlib::versioned_file_name(path("noext")), path("noext"));
  std::ofstream(path("noext")) << "x";
  EXPECT_EQ(plotlib::versioned_file_name(path("noext")), path("noext_1"));
}

TEST_F(MetafileTest, default_name_begins_with_the_library_name) {
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  plotlib::metafl("WMF");
  plotlib::setfil("");
  plotlib::disini();
  plotlib::disfin();
  fs::current_path(cwd);
  EXPECT_TRUE(fs::exists(dir_ / "plotlib.wmf"));
}

// No free name is the caller's to tell: nothing is written, and the next plot goes on as ever.
TEST_F(MetafileTest, more_than_999_versions_are_returned_to_the_caller) {
  std::ofstream(path("p.wmf")) << "x";
  for (int n = 1; n <= 999; ++n) std::ofstream(path("p_" + std::to_string(n) + ".wmf")) << "x";
  plotlib::metafl("WMF");
  plotlib::setfil(path("p.wmf"));
  EXPECT_EQ(plotlib::disini(), "More than 999 file versions!");
  EXPECT_EQ(plotlib::level(), 0);
  EXPECT_FALSE(fs::exists(path("p_1000.wmf")));
  EXPECT_EQ(messages_.str(), "");
  trov::test::sample_grid_plot("WMF", path("q.wmf"));
  EXPECT_TRUE(fs::exists(path("q.wmf")));
}

TEST_F(MetafileTest, unwritable_file_warns_and_opens_no_plot) {
  const std::string name = path("missing/plot.wmf");
  plotlib::metafl("WMF");
  plotlib::setfil(name);
  plotlib::disini();
  EXPECT_EQ(plotlib::level(), 0);
  EXPECT_EQ(messages_.str(), " <<<< Warning  36: File error in disini!   (" + name + ")\n");
}

// An independent reader: libwmf's wmf2svg. It stretches a metafile without a placeable header to a
// square, so positions are compared relative to the window extent.
TEST_F(MetafileTest, wmf2svg_reads_the_lines_and_texts_in_place) {
  if (std::system("command -v wmf2svg >/dev/null 2>&1") != 0) GTEST_SKIP() << "wmf2svg not installed";
  trov::test::sample_fitted_plot("WMF", path("fit.wmf"));
  trov::test::sample_fitted_plot("REC");
  const plotlib::Recording& rec = *plotlib::recording();
  const std::string svg_path = path("fit.svg");
  ASSERT_EQ(std::system(("wmf2svg -o '" + svg_path + "' '" + path("fit.wmf") + "'").c_str()), 0);
  std::ifstream in(svg_path);
  const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  double svg_w = 0, svg_h = 0;
  ASSERT_EQ(
      std::sscanf(svg.c_str() + svg.find("<svg width="), "<svg width=\"%lf\" height=\"%lf\"", &svg_w, &svg_h),
      2);
  const double sx = svg_w / 16858.0, sy = svg_h / 11926.0;  // pixels per twip

  struct Line {
    double x1, y1, x2, y2;
  };
  std::vector<Line> lines;
  for (std::size_t at = svg.find("<line "); at != std::string::npos; at = svg.find("<line ", at + 1)) {
    Line l{};
    ASSERT_EQ(std::sscanf(svg.c_str() + at, "<line x1=\"%lf\" y1=\"%lf\" x2=\"%lf\" y2=\"%lf\"", &l.x1, &l.y1,
                          &l.x2, &l.y2),
              4);
    lines.push_back(l);
  }
  const auto segments = rec.segments();
  ASSERT_EQ(lines.size(), segments.size());
  const double tolerance = 0.1;  // pixels; a plot unit is about 0.17 pixels here
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NEAR(lines[i].x1, twips(segments[i].from.x) * sx, tolerance) << i;
    EXPECT_NEAR(lines[i].y1, twips(segments[i].from.y) * sy, tolerance) << i;
    EXPECT_NEAR(lines[i].x2, twips(segments[i].to.x) * sx, tolerance) << i;
    EXPECT_NEAR(lines[i].y2, twips(segments[i].to.y) * sy, tolerance) << i;
  }

  // each character: its start along the text, its baseline inside the text box
  struct Char {
    double x, y;
    char c;
  };
  std::vector<Char> chars;
  // <text ... transform="matrix(a b c d x y)"\n\t>C</text>: (x, y) is where the baseline starts
  for (std::size_t at = svg.find("<text "); at != std::string::npos; at = svg.find("<text ", at + 1)) {
    const std::size_t matrix = svg.find("matrix(", at);
    double m[6];
    ASSERT_EQ(std::sscanf(svg.c_str() + matrix, "matrix(%lf %lf %lf %lf %lf %lf)", &m[0], &m[1], &m[2], &m[3],
                          &m[4], &m[5]),
              6);
    const std::size_t close = svg.find('>', svg.find(')', matrix));
    chars.push_back({m[4], m[5], svg[close + 1]});
  }
  std::size_t k = 0;
  for (const auto& t : rec.texts()) {
    const double a = t.angle * std::numbers::pi / 180.0;
    for (std::size_t i = 0; i < t.text.size(); ++i, ++k) {
      ASSERT_LT(k, chars.size());
      EXPECT_EQ(chars[k].c, t.text[i]);
      // the baseline lies inside the text box, across the text direction; the reader sizes fonts by
      // its vertical scale
      const double dx = chars[k].x - t.char_x(i) * kMetafileScale * sx;
      const double dy = chars[k].y - t.char_y(i) * kMetafileScale * sy;
      const double down = dx * std::sin(a) + dy * std::cos(a);
      const double along = dx * std::cos(a) - dy * std::sin(a);
      const double box = t.height * kMetafileScale * sy;
      EXPECT_GT(down, 0.3 * box) << t.text;
      EXPECT_LT(down, 1.0 * box) << t.text;
      EXPECT_NEAR(along, 0.0, 0.2) << t.text;
    }
  }
  EXPECT_EQ(k, chars.size());
}

}  // namespace
