#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "plotlib/draw/font_metrics.h"
#include "plotlib/draw/messages.h"
#include "plotlib/draw/plotlib.h"
#include "tests/plotlib/plot_fixture.h"

namespace {

using plotlib::PagePoint;
using plotlib::Recording;
using Segment = Recording::Segment;
using trov::test::RecordedPlot;

struct Tick {
  int x;
  int length;
};

// Ticks of the bottom axis at y = 1800 of the standard axis system: vertical segments hanging below it.
std::vector<Tick> bottom_ticks(const std::vector<Segment>& segments) {
  std::vector<Tick> ticks;
  for (const Segment& s : segments) {
    if (s.from.x != s.to.x) continue;
    const int top = std::min(s.from.y, s.to.y), bottom = std::max(s.from.y, s.to.y);
    if (top == 1800 && bottom > 1800) ticks.push_back({s.from.x, bottom - top});
  }
  return ticks;
}

std::vector<std::string> texts_at_y(const Recording& rec, double y) {
  std::vector<std::string> result;
  for (const auto& t : rec.texts())
    if (t.y == y) result.push_back(t.text);
  return result;
}

// A line against a pattern in which '9' stands for any digit.
bool matches(const std::string& line, const std::string& pattern) {
  if (line.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < line.size(); ++i)
    if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != pattern[i])
      return false;
  return true;
}

int scaled_x(float v, float a, float e) {
  return static_cast<int>(std::lround(450 + (v - a) * 2199.0 / (e - a)));
}

TEST_F(RecordedPlot, axis_has_a_tick_every_fifth_of_a_label_step_and_a_major_one_at_each_label) {
  plotlib::ticks(5, "x");
  plotlib::graf(0.0f, 10.0f, 0.0f, 2.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  const auto ticks = bottom_ticks(rec().segments());
  ASSERT_EQ(ticks.size(), 26u);
  for (int i = 0; i <= 25; ++i) {
    EXPECT_EQ(ticks[i].x, scaled_x(static_cast<float>(i) * 0.4f, 0, 10)) << i;
    EXPECT_EQ(ticks[i].length, i % 5 == 0 ? 24 : 16) << i;
  }
  EXPECT_EQ(texts_at_y(rec(), 1848.0), (std::vector<std::string>{"0.0", "2.0", "4.0", "6.0", "8.0", "10.0"}));
  // consecutive ticks alternate their direction: out, back, out
  const auto segs = rec().segments();
  const auto first = std::find_if(segs.begin(), segs.end(), [](const Segment& s) {
    return s.to == PagePoint{450, 1824};
  });
  ASSERT_NE(first, segs.end());
  EXPECT_EQ(first->from, (PagePoint{450, 1800}));
  EXPECT_EQ((first + 1)->from, (PagePoint{scaled_x(0.4f, 0, 10), 1816}));
  EXPECT_EQ((first + 1)->to, (PagePoint{scaled_x(0.4f, 0, 10), 1800}));
}

TEST_F(RecordedPlot, minor_ticks_continue_below_the_first_label_but_labels_do_not) {
  plotlib::ticks(5, "XY");
  plotlib::graf(-0.9f, 10.2f, 0.0f, 2.0f, 0.0f, 1.0f, 0.0f, 0.5f);
  const auto ticks = bottom_ticks(rec().segments());
  ASSERT_EQ(ticks.size(), 28u);  // -0.8 and -0.4 below the first label, 0 ... 10 above
  EXPECT_EQ(ticks[0].x, scaled_x(-0.8f, -0.9f, 10.2f));
  EXPECT_EQ(ticks[0].length, 16);
  EXPECT_EQ(ticks[1].length, 16);
  EXPECT_EQ(ticks[2].length, 24);
  EXPECT_EQ(texts_at_y(rec(), 1848.0).front(), "0.0");
}

TEST_F(RecordedPlot, tick_just_reaching_the_axis_end_is_drawn) {
  plotlib::ticks(10, "X");
  plotlib::graf(-0.2f, 10.2f, 0.0f, 2.0f, 0.0f, 1.0f, 0.0f, 0.5f);
  const auto ticks = bottom_ticks(rec().segments());
  EXPECT_EQ(ticks.front().x, 450);  // the tick at -0.2 lies on the axis end
  EXPECT_EQ(ticks.front().length, 16);
  EXPECT_EQ(ticks.back().x, 450 + 2199);
}

TEST_F(RecordedPlot, label_digits_per_axis) {
  plotlib::labdig(3, "X");
  plotlib::labdig(-1, "Y");
  plotlib::graf(0.0f, 10.0f, 0.0f, 2.5f, -1.0f, 1.0f, -0.75f, 0.5f);
  EXPECT_EQ(texts_at_y(rec(), 1848.0),
            (std::vector<std::string>{"0.000", "2.500", "5.000", "7.500", "10.000"}));
  std::vector<std::string> left;
  for (const auto& t : rec().texts())
    if (std::abs(t.x + plotlib::text_width(t.text, t.height) - 402) < 1e-9) left.push_back(t.text);
  // -0.75, -0.25, 0.25, 0.75 rounded to integers; -0.25 shows no sign
  EXPECT_EQ(left, (std::vector<std::string>{"-1", "0", "0", "1"}));
}

TEST_F(RecordedPlot, negative_label_with_three_decimals) {
  plotlib::labdig(3, "Y");
  plotlib::graf(0.0f, 1.0f, 0.0f, 1.0f, -0.25f, 0.25f, -0.25f, 0.25f);
  std::vector<std::string> all;
  for (const auto& t : rec().texts()) all.push_back(t.text);
  EXPECT_NE(std::find(all.begin(), all.end(), "-0.250"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "0.000"), all.end());
}

TEST_F(RecordedPlot, labels_and_names_keep_their_distances_from_the_axes) {
  plotlib::height(40);
  plotlib::hname(30);
  plotlib::name("Trait (X)", "X");
  plotlib::name("Fitness", "Y");
  plotlib::graf(0.0f, 10.0f, 0.0f, 5.0f, 0.0f, 100.0f, 0.0f, 50.0f);
  const auto texts = rec().texts();
  auto find = [&](const std::string& s) {
    return *std::find_if(texts.begin(), texts.end(), [&](const auto& t) { return t.text == s; });
  };
  // horizontal labels: centred on their position, 48 below the axis
  const auto five = find("5.0");
  EXPECT_DOUBLE_EQ(five.x + plotlib::text_width("5.0", 40) / 2, 450 + 5 * 2199.0 / 10);
  EXPECT_DOUBLE_EQ(five.y, 1848.0);
  EXPECT_EQ(five.height, 40);
  // vertical labels: ending 48 left of the axis, centred on their position
  const auto fifty = find("50.0");
  EXPECT_DOUBLE_EQ(fifty.x + plotlib::text_width("50.0", 40), 402.0);
  EXPECT_DOUBLE_EQ(fifty.y + 20.0, 1800 - 50 * 1199.0 / 100);
  // horizontal name: centred, 78 plus the label height below the axis
  const auto xname = find("Trait (X)");
  EXPECT_DOUBLE_EQ(xname.x + plotlib::text_width("Trait (X)", 30) / 2, 450 + 2199 / 2.0);
  EXPECT_DOUBLE_EQ(xname.y, 1800 + 78 + 40);
  EXPECT_EQ(xname.height, 30);
  EXPECT_EQ(xname.angle, 0);
  // vertical name: reading upwards, 78 plus the widest label plus the name height left of the axis
  const auto yname = find("Fitness");
  EXPECT_EQ(yname.angle, 90);
  EXPECT_DOUBLE_EQ(yname.x, 450 - 78 - plotlib::text_width("100.0", 40) - 30);
  EXPECT_DOUBLE_EQ(yname.y - plotlib::text_width("Fitness", 30) / 2, 1800 - 1199 / 2.0);
}

TEST_F(RecordedPlot, title_lines_keep_their_places_above_the_axis_system) {
  plotlib::height(40);
  plotlib::titlin("First", 1);
  plotlib::titlin("Third", -3);
  plotlib::graf(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f);
  const std::size_t before = rec().segments().size();
  plotlib::title();
  const auto texts = rec().texts();
  const auto& third = texts[texts.size() - 1];
  const auto& first = texts[texts.size() - 2];
  EXPECT_EQ(first.text, "First");
  // line k at (nya - nyl) - 1.5 h (4 - k) - 3h
  EXPECT_DOUBLE_EQ(first.y, 600 - 1.5 * 40 * 3 - 120);
  EXPECT_DOUBLE_EQ(third.y, 600 - 1.5 * 40 * 1 - 120);
  EXPECT_DOUBLE_EQ(first.x + plotlib::text_width("First", 40) / 2, 450 + 2199 / 2.0);
  // the underline: 1.2 h below, h/2 beyond both ends
  const auto segs = rec().segments();
  ASSERT_EQ(segs.size(), before + 1);
  const double w = plotlib::text_width("Third", 40);
  EXPECT_EQ(segs.back().from, (PagePoint{static_cast<int>(std::lround(third.x - 20)),
                                         static_cast<int>(std::lround(third.y + 48))}));
  EXPECT_EQ(segs.back().to, (PagePoint{static_cast<int>(std::lround(third.x + w + 20)),
                                       static_cast<int>(std::lround(third.y + 48))}));
}

TEST_F(RecordedPlot, point_above_the_scaling_is_reported_once_and_cut_inside_the_axis) {
  plotlib::graf(0.0f, 10.0f, 0.0f, 2.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  take_lines();
  const std::size_t before = rec().segments().size();
  const float x[] = {0.0f, 5.0f, 10.0f};
  const float y[] = {5.0f, 12.0f, 5.0f};
  plotlib::curve(x, y, 3);
  EXPECT_EQ(take_lines(), (std::vector<std::string>{" <<<< (5.000000 / 12.000000) out of axis scaling!"}));
  const auto segs = rec().segments();
  ASSERT_EQ(segs.size(), before + 2);
  // one plot unit inside the top axis line at y = 601
  EXPECT_EQ(segs[before].to.y, 602);
  EXPECT_EQ(segs[before + 1].from.y, 602);
  EXPECT_EQ(segs[before].from, (PagePoint{451, 1200}));  // cut one unit inside the left axis as well
}

TEST(out_of_scaling_line, large_and_tiny_values_take_the_exponent_form) {
  EXPECT_EQ(plotlib::out_of_scaling_line(2e7f, -3e-7f),
            " <<<< (  2.0000e+07 / -3.0000e-07) out of axis scaling!");
  EXPECT_EQ(plotlib::out_of_scaling_line(0.0f, -1.5f), " <<<< (0.000000 / -1.500000) out of axis scaling!");
}

TEST_F(RecordedPlot, bad_axis_scaling_leaves_no_axis_system) {
  plotlib::graf(1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  EXPECT_EQ(plotlib::level(), 1);
  const float v[] = {1.0f, 2.0f};
  plotlib::curve(v, v, 2);
  plotlib::title();
  plotlib::graf(0.0f, 10.0f, 0.0f, 0.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  EXPECT_TRUE(rec().segments().empty());
  EXPECT_EQ(take_lines(),
            (std::vector<std::string>{
                " <<<< Warning  10: Begin and end of scaling are equal in graf!",
                " <<<< Warning  50: Incorrect sign for step in graf!",  // a = e counts as falling
                " <<<< Warning   3: Incorrect level in curve!   (   1)",
                " <<<< Warning   3: Incorrect level in title!   (   1)",
                " <<<< Warning   9: Step equal zero in graf!",
            }));
}

TEST_F(RecordedPlot, first_label_outside_or_wrong_step_sign_only_warns) {
  plotlib::graf(0.0f, 10.0f, 11.0f, -2.0f, 10.0f, 0.0f, 10.0f, -2.0f);
  EXPECT_EQ(plotlib::level(), 2);
  EXPECT_FALSE(rec().segments().empty());
  EXPECT_EQ(take_lines(), (std::vector<std::string>{" <<<< Warning  12: Startlabel out of scaling in graf!",
                                                    " <<<< Warning  50: Incorrect sign for step in graf!"}));
}

TEST_F(RecordedPlot, refused_settings_warn_and_keep_their_values) {
  plotlib::axspos(450, 3000);
  plotlib::titlin("Five", 5);
  plotlib::height(0);
  plotlib::ticks(5, "Q");
  plotlib::graf(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f);
  plotlib::axspos(100, 100);
  const float v[] = {0.5f};
  plotlib::curve(v, v, 1);
  EXPECT_EQ(take_lines(), (std::vector<std::string>{
                              " <<<< Warning   2: Incorrect parameter in axspos!   (3000)",
                              " <<<< Warning   2: Incorrect parameter in titlin!   (   5)",
                              " <<<< Warning   2: Incorrect parameter in height!   (   0)",
                              " <<<< Warning   2: Incorrect parameter in ticks!   (Q)",
                              " <<<< Warning   3: Incorrect level in axspos!   (   2)",
                              " <<<< Warning   2: Incorrect parameter in curve!",
                          }));
  // the axis system stayed where it was
  EXPECT_EQ(rec().segments().front().from, (PagePoint{450, 1800}));
}

TEST(warning_line, numbers_without_a_text_and_own_texts) {
  EXPECT_EQ(plotlib::warning_line(70, "graf", 3), "<<<< Incorrect parameter in errmes! (  70)");
  EXPECT_EQ(plotlib::warning_line(0, "graf", {}), "<<<< Incorrect parameter in errmes! (   0)");
  EXPECT_EQ(plotlib::warning_line(101, "winfnt", {}, "Window fonts cannot be used"),
            " <<<< Warning 101: Window fonts cannot be used in winfnt!");
  EXPECT_EQ(plotlib::warning_text(58), "Array is out of screen");
}

TEST_F(RecordedPlot, page_keyword_unknown_or_portrait) {
  plotlib::disfin();
  plotlib::setpag("xx4l");
  plotlib::setpag("hp2p");
  plotlib::disini();
  plotlib::pagera();
  EXPECT_EQ(take_lines().back(), " <<<< Warning   2: Incorrect parameter in setpag!   (xx4l)");
  const auto segs = rec().segments();
  ASSERT_EQ(segs.size(), 4u);
  EXPECT_EQ(segs[0].from, (PagePoint{0, 0}));
  EXPECT_EQ(segs[0].to, (PagePoint{0, 5339}));
  EXPECT_EQ(segs[1].to, (PagePoint{3359, 5339}));
  EXPECT_EQ(segs[2].to, (PagePoint{3359, 0}));
  EXPECT_EQ(segs[3].to, (PagePoint{0, 0}));
  plotlib::disfin();
  plotlib::setpag("DA4L");
  plotlib::disini();
}

TEST_F(RecordedPlot, dash_pattern_restarts_with_every_curve) {
  plotlib::graf(0.0f, 2199.0f, 0.0f, 1000.0f, 0.0f, 1199.0f, 0.0f, 100.0f);
  plotlib::dash();
  const float x[] = {100.0f, 145.0f, 145.0f};
  const float y1[] = {1000.0f, 1000.0f, 985.0f};
  const float y2[] = {900.0f, 900.0f, 900.0f};
  const std::size_t before = rec().segments().size();
  plotlib::curve(x, y1, 3);
  plotlib::curve(std::span(x, 2), y2, 2);
  const auto all = rec().segments();
  const std::vector<Segment> segs(all.begin() + static_cast<long>(before), all.end());
  // page y of value v is 1800 - v; 10 drawn, 10 skipped, carried round the corner
  const std::vector<std::pair<PagePoint, PagePoint>> expected = {
      {{550, 800}, {560, 800}}, {{570, 800}, {580, 800}}, {{590, 800}, {595, 800}}, {{595, 800}, {595, 805}},
      {{550, 900}, {560, 900}}, {{570, 900}, {580, 900}}, {{590, 900}, {595, 900}}};
  ASSERT_EQ(segs.size(), expected.size());
  for (std::size_t i = 0; i < segs.size(); ++i) {
    EXPECT_EQ(segs[i].from, expected[i].first) << i;
    EXPECT_EQ(segs[i].to, expected[i].second) << i;
  }
}

TEST_F(RecordedPlot, symbols_only_curve_draws_squares_and_advances_the_symbol) {
  plotlib::graf(0.0f, 10.0f, 0.0f, 2.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  plotlib::incmrk(-1);
  plotlib::hsymbl(20);
  const std::size_t before = rec().segments().size();
  const float x[] = {5.0f};
  plotlib::curve(x, x, 1);
  auto segs = rec().segments();
  ASSERT_EQ(segs.size(), before + 4);
  const int cx = scaled_x(5.0f, 0, 10), cy = static_cast<int>(std::lround(1800 - 5 * 1199.0 / 10));
  EXPECT_EQ(segs[before].from, (PagePoint{cx - 10, cy - 10}));
  EXPECT_EQ(segs[before + 1].from, (PagePoint{cx + 10, cy - 10}));
  EXPECT_EQ(segs[before + 2].from, (PagePoint{cx + 10, cy + 10}));
  EXPECT_EQ(segs[before + 3].to, (PagePoint{cx - 10, cy - 10}));
  // the next symbol curve uses the octagon
  plotlib::curve(x, x, 1);
  EXPECT_EQ(rec().segments().size(), before + 4 + 8);
}

TEST_F(RecordedPlot, placed_texts_and_symbols_on_the_page_and_at_axis_values) {
  plotlib::height(30);
  plotlib::hsymbl(20);
  plotlib::rlsymb(0, 5.0f, 5.0f);  // no axis system yet
  EXPECT_EQ(take_lines(),
            (std::vector<std::string>{" <<<< Warning   3: Incorrect level in rlsymb!   (   1)"}));
  plotlib::messag("GCV minimum", 100, 200);
  EXPECT_EQ(plotlib::nlmess("GCV minimum"), std::lround(plotlib::text_width("GCV minimum", 30)));
  const auto text = rec().texts().back();
  EXPECT_EQ(text.text, "GCV minimum");
  EXPECT_EQ(text.x, 100.0);
  EXPECT_EQ(text.y, 200.0);
  EXPECT_EQ(text.height, 30);
  plotlib::symbol(0, 60, 215);  // on the page: left of the axis system, not cut
  auto segs = rec().segments();
  ASSERT_EQ(segs.size(), 4u);
  EXPECT_EQ(segs[0].from, (PagePoint{50, 205}));
  EXPECT_EQ(segs[2].from, (PagePoint{70, 225}));

  plotlib::graf(0.0f, 10.0f, 0.0f, 2.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  const std::size_t before = rec().segments().size();
  plotlib::rlsymb(20, 5.0f, 5.0f);  // the circle, 16 strokes, at the point
  plotlib::rlsymb(0, 0.0f, 5.0f);   // on the left axis: only the half inside is drawn
  segs = rec().segments();
  ASSERT_EQ(segs.size(), before + 16 + 3);
  const int cy = static_cast<int>(std::lround(1800 - 5 * 1199.0 / 10));
  EXPECT_EQ(segs[before].from, (PagePoint{scaled_x(5.0f, 0, 10) + 10, cy}));
  for (std::size_t i = before + 16; i < segs.size(); ++i)
    EXPECT_GE(std::min(segs[i].from.x, segs[i].to.x), 451);
  take_lines();
  plotlib::symbol(21, 60, 215);
  EXPECT_EQ(take_lines(),
            (std::vector<std::string>{" <<<< Warning   2: Incorrect parameter in symbol!   (  21)"}));
}

TEST_F(RecordedPlot, lines_with_a_symbol_at_every_second_point) {
  plotlib::graf(0.0f, 10.0f, 0.0f, 2.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  plotlib::incmrk(2);
  const std::size_t before = rec().segments().size();
  const float x[] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
  plotlib::curve(x, x, 5);
  EXPECT_EQ(rec().segments().size(), before + 3 * 4 + 4);  // squares at points 1, 3 and 5, then 4 lines
}

TEST_F(RecordedPlot, curve_needs_as_many_values_as_points) {
  plotlib::graf(0.0f, 10.0f, 0.0f, 2.0f, 0.0f, 10.0f, 0.0f, 2.0f);
  take_lines();
  const float x[] = {1.0f, 2.0f};
  plotlib::curve(x, x, 3);
  EXPECT_EQ(take_lines(), (std::vector<std::string>{" <<<< Warning   2: Incorrect parameter in curve!"}));
}

TEST_F(RecordedPlot, disini_restores_the_defaults) {
  plotlib::height(40);
  plotlib::labdig(3, "XY");
  plotlib::dash();
  plotlib::disfin();
  plotlib::disini();
  plotlib::axspos(450, 1800);
  plotlib::axslen(2200, 1200);
  plotlib::graf(0.0f, 10.0f, 0.0f, 5.0f, 0.0f, 10.0f, 0.0f, 5.0f);
  const auto texts = rec().texts();
  EXPECT_EQ(texts.front().text, "0.0");
  EXPECT_EQ(texts.front().height, 36);
  const std::size_t before = rec().segments().size();
  const float x[] = {1.0f, 9.0f};
  plotlib::curve(x, x, 2);
  EXPECT_EQ(rec().segments().size(), before + 1);  // solid again
}

TEST_F(RecordedPlot, end_of_plot_report_counts_vectors_and_warnings) {
  plotlib::pagera();
  plotlib::height(0);
  take_lines();
  plotlib::disfin();
  const auto lines = take_lines();
  ASSERT_EQ(lines.size(), 7u);
  const std::string frame = " " + std::string(66, '<');
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], frame);
  EXPECT_EQ(lines[2], " <<                END OF PLOTLIB / VERSION  7.3                  <<");
  EXPECT_TRUE(matches(lines[3], " <<  Date    : 99.99.9999  Time    : 99:99:99  Pageformat: DA4L  <<"))
      << lines[3];
  EXPECT_EQ(lines[4], " <<  Vectors : 4           Warnings: 1         Fileformat:  REC  <<");
  EXPECT_EQ(lines[5], " <<  Metafile: " + std::string(48, ' ') + "  <<");
  EXPECT_EQ(lines[6], frame);
  EXPECT_EQ(plotlib::level(), 0);
}

}  // namespace
