#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "plotlib/draw/screen_device.h"
#include "plotlib/draw/symbols.h"

namespace {

TEST(plot_window_geometry, landscape_takes_two_thirds_of_the_width_at_the_lower_right) {
  const auto g = plotlib::plot_window_geometry(2969, 2099, 1024, 768, 0, 0);
  EXPECT_EQ(g.w, 682);
  EXPECT_EQ(g.h, 482);  // 682 * 2100 / 2970, rounded
  EXPECT_EQ(g.x, 1024 - 682);
  EXPECT_EQ(g.y, 768 - 482);
  // with a frame of 4 and a caption of 20 the frame touches the corner
  const auto f = plotlib::plot_window_geometry(2969, 2099, 1024, 768, 4, 20);
  EXPECT_EQ(f.x, 1024 - 682 - 4);
  EXPECT_EQ(f.y, 768 - 482 - 4);
}

TEST(plot_window_geometry, portrait_takes_two_thirds_of_the_height_and_stays_below_the_caption) {
  const auto g = plotlib::plot_window_geometry(2099, 2969, 1024, 768, 0, 0);
  EXPECT_EQ(g.h, 512);
  EXPECT_EQ(g.w, 362);  // 512 * 2100 / 2970, rounded
  // a screen too small for the window: the client area starts one frame and a caption in
  const auto narrow = plotlib::plot_window_geometry(2099, 2969, 300, 768, 4, 20);
  EXPECT_EQ(narrow.x, 4);
  const auto low = plotlib::plot_window_geometry(2099, 2969, 300, 60, 4, 20);
  EXPECT_EQ(low.y, 24);
}

TEST(symbols, twenty_one_distinct_symbols_inside_their_size) {
  std::set<std::vector<std::vector<std::pair<int, int>>>> shapes;
  for (int n = 0; n < plotlib::kSymbolCount; ++n) {
    std::vector<std::vector<std::pair<int, int>>> shape;
    for (const auto& stroke : plotlib::symbol_strokes(n)) {
      EXPECT_GE(stroke.size(), 2u) << n;
      auto& s = shape.emplace_back();
      for (const auto v : stroke) {
        EXPECT_LE(std::abs(v.x), 50) << n;
        EXPECT_LE(std::abs(v.y), 50) << n;
        s.emplace_back(v.x, v.y);
      }
    }
    EXPECT_FALSE(shape.empty()) << n;
    shapes.insert(shape);
  }
  EXPECT_EQ(shapes.size(), 21u);
  // the front end's data points: an open square whose side is the symbol size
  const auto& square = plotlib::symbol_strokes(0);
  ASSERT_EQ(square.size(), 1u);
  EXPECT_EQ(square[0].front().x, -50);
  EXPECT_EQ(square[0].front().y, -50);
  EXPECT_EQ(square[0][2].x, 50);
  EXPECT_EQ(square[0][2].y, 50);
}

}  // namespace
