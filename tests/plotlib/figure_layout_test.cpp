#include "plotlib/draw/figure_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "plotlib/draw/contour.h"
#include "plotlib/draw/figure_scene.h"

namespace plotlib::figure {
namespace {

// A hill's contours are closed rings through points at the level, one per level; a saddle's level gives
// two lines; cells with a missing value break a ring open; the levels are round and inside the range.
TEST(figure_layout_test, contour_lines_follow_the_level) {
  std::vector<double> grid;
  for (int k = 0; k <= 40; ++k) grid.push_back(-2 + k * 0.1);
  const auto tabulated = [&](auto f) {
    std::vector<double> z;
    for (double y : grid)
      for (double x : grid) z.push_back(f(x, y));
    return z;
  };
  std::vector<double> hill = tabulated([](double x, double y) { return 1 - x * x - y * y; });
  const ContourLevels levels = contour_levels(hill);
  EXPECT_DOUBLE_EQ(levels.step, 1);  // over -7 to 1, the maximum itself left out
  EXPECT_EQ(levels.values, (std::vector<double>{-6, -5, -4, -3, -2, -1, 0}));
  for (double level : {0.5, 0.0, -0.5}) {
    const std::vector<ContourLine> lines = contour_lines(grid, grid, hill, level);
    ASSERT_EQ(lines.size(), 1u) << level;
    const ContourLine& ring = lines[0];
    EXPECT_DOUBLE_EQ(ring.front().x, ring.back().x);
    EXPECT_DOUBLE_EQ(ring.front().y, ring.back().y);
    for (const ContourPoint& p : ring) EXPECT_NEAR(1 - p.x * p.x - p.y * p.y, level, 0.01);
  }
  const std::vector<double> saddle = tabulated([](double x, double y) { return x * x - y * y; });
  EXPECT_EQ(contour_lines(grid, grid, saddle, 0.5).size(), 2u);
  hill[20 * 41 + 30] = NAN;  // on the ring of level 0, at (1, 0)
  const std::vector<ContourLine> broken = contour_lines(grid, grid, hill, 0);
  ASSERT_EQ(broken.size(), 1u);
  EXPECT_GT(std::hypot(broken[0].front().x - broken[0].back().x, broken[0].front().y - broken[0].back().y),
            0.1);
  EXPECT_TRUE(contour_levels(std::vector<double>(9, 2.0)).values.empty());
}

TEST(figure_layout_test, ticks_are_round_and_cover_the_data) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> centre(-1e3, 1e3), log_width(-6, 6);
  for (int trial = 0; trial < 2000; ++trial) {
    const double lo = centre(random), hi = lo + std::pow(10.0, log_width(random));
    const Ticks t = round_ticks(lo, hi);
    ASSERT_LE(t.first, lo);
    ASSERT_GE(t.last(), hi);
    ASSERT_GE(t.count, 2);
    ASSERT_LE(t.count, 7);
    const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step) + 1e-9));
    ASSERT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                std::fabs(mantissa - 5) < 1e-9)
        << t.step;
  }
  const Ticks one = round_ticks(3, 3);  // one value: a unit either side
  EXPECT_LT(one.first, 3);
  EXPECT_GT(one.last(), 3);
}

TEST(figure_layout_test, tick_labels_have_no_trailing_zeros) {
  EXPECT_EQ(tick_label(0.5, 0.1), "0.5");
  EXPECT_EQ(tick_label(0.1 + 0.2, 0.1), "0.3");
  EXPECT_EQ(tick_label(120, 20), "120");
  EXPECT_EQ(tick_label(1e-17, 0.2), "0");
  EXPECT_EQ(tick_label(-0.0, 1), "0");
  EXPECT_EQ(tick_label(0.00015, 0.00005), "0.00015");
}

TEST(figure_layout_test, everything_stays_on_the_page_of_the_chosen_size) {
  Figure f;
  f.width_mm = 85, f.height_mm = 100;
  f.x_title = "Wing length of the adult bird in millimetres (measured in the field)";
  f.panels = {{"Classic score"}, {"REML score (converged)"}};
  f.lines.push_back({"GCV (classic)", {-10, 0, 10}, {1e9, 0.96, 1.01}});
  f.lines.push_back({"REML (converged fits)", {-10, 0, 10}, {170, 160, NAN}, Stroke::long_dashed, 0, 1});
  f.markers.push_back({"REML minimum, ln(lambda) = 1.86", 1.86, 159, Shape::star, 1});
  f.panels[0].clip_above = 2;
  const Scene s = lay_out(f);
  EXPECT_NEAR(s.width, 85 * 72 / 25.4, 1e-9);
  EXPECT_NEAR(s.height, 100 * 72 / 25.4, 1e-9);
  for (const TextItem& t : s.texts) {
    const double w = text_width(t.text, t.size);
    const double start = t.anchor == Anchor::start ? 0 : t.anchor == Anchor::middle ? -w / 2 : -w;
    if (t.vertical) {
      EXPECT_GE(t.y + start + w, 0) << t.text;
      EXPECT_LE(t.y - start, s.height) << t.text;
      EXPECT_GE(t.x - t.size, 0) << t.text;
    } else {
      EXPECT_GE(t.x + start, 0) << t.text;
      EXPECT_LE(t.x + start + w, s.width + 1e-9) << t.text;
      EXPECT_GE(t.y - t.size, 0) << t.text;
      EXPECT_LE(t.y, s.height) << t.text;
    }
  }
}

}  // namespace
}  // namespace plotlib::figure
