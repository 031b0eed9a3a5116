#include "plotlib/widgets/widget_layout.h"

#include <gtest/gtest.h>

#include "plotlib/widgets/widget_text.h"

namespace plotlib {
namespace {

const Spacing sp = spacing_from(20, 8);  // line 20 px, average character 8 px

TEST(widget_layout_test, sizes_in_character_units) {
  EXPECT_EQ(sp.hspace, 32);
  EXPECT_EQ(sp.vspace, 10);
  EXPECT_EQ(spacing_from(17, 7).vspace, 9);  // 8.5 rounds to whole pixels
  EXPECT_EQ(label_height(sp), 20);
  EXPECT_EQ(field_height(spacing_from(17, 7)), 25);  // 1.5 lines rounded down
  EXPECT_EQ(list_height(sp, 3), 80);
  EXPECT_EQ(list_height(sp, 8), 180);
  EXPECT_EQ(list_height(sp, 30), 180);  // scrolled past 8 items
  EXPECT_EQ(base_width(35, 8, 1000), 280);
  EXPECT_EQ(base_width(-25, 8, 1000), 250);
}

TEST(widget_layout_test, columns_side_by_side_and_rows_stacked) {
  ParentLayout main(Arrangement::hori, {16, 38, 160, 0});
  const Rect left = main.place(0, 280);
  main.enclose(left, sp);
  const Rect right = main.place(0, 280);
  main.enclose(right, sp);
  EXPECT_EQ(left, (Rect{16, 38, 280, 0}));
  EXPECT_EQ(right, (Rect{16 + 280 + 32, 38, 280, 0}));

  ParentLayout column(Arrangement::vert, right);
  const Rect first = column.place(20, 999);
  column.enclose(first, sp);
  const Rect second = column.place(30, 999);
  EXPECT_EQ(first, (Rect{328, 38, 280, 20}));  // a VERT parent hands on its own width
  EXPECT_EQ(second, (Rect{328, 68, 280, 30}));
}

TEST(widget_layout_test, base_after_growing_base_starts_below_it) {
  ParentLayout main(Arrangement::vert, {16, 38, 280, 0});
  const Rect a = main.place(0, 0);
  main.enclose(a, sp);
  ParentLayout base_a(Arrangement::vert, a);
  for (int i = 0; i < 3; ++i) {  // children of the first base push the main widget's insertion point down
    const Rect r = base_a.place(30, 0);
    base_a.enclose(r, sp);
    main.enclose(r, sp);
  }
  EXPECT_EQ(main.place(0, 0).y, 38 + 3 * 40);
  EXPECT_EQ(main.bottom, 38 + 3 * 40 - 10);
  EXPECT_EQ(main.right, 16 + 280);
}

TEST(widget_layout_test, labelled_text_field_takes_right_percent) {
  const auto [label, field] = split_labelled({16, 38, 280, 30}, 20);
  EXPECT_EQ(field, (Rect{16 + 224, 38, 56, 30}));
  EXPECT_EQ(label, (Rect{16, 38, 224, 30}));
  EXPECT_EQ(split_labelled({0, 0, 283, 30}, 30).second.w, 85);  // 84.9 rounds
  EXPECT_EQ(split_labelled({0, 0, 280, 30}, 150).second.w, 280);
}

TEST(widget_text_test, keywords_match_on_four_characters_any_case) {
  EXPECT_TRUE(keyword_is("status", "STAT"));
  EXPECT_TRUE(keyword_is("Inactive", "INAC"));
  EXPECT_TRUE(keyword_is("NOHELP", "NOHE"));
  EXPECT_TRUE(keyword_is("ok  ", "OK"));
  EXPECT_FALSE(keyword_is("okay", "OK"));
  EXPECT_FALSE(keyword_is("STA", "STAT"));
}

TEST(widget_text_test, list_items_and_literal_labels) {
  EXPECT_EQ(split_items("normal|binomial|Poisson        "),
            (std::vector<std::string>{"normal", "binomial", "Poisson"}));
  EXPECT_EQ(split_items("a||b "), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(split_items("   ").empty());
  EXPECT_EQ(literal_label("50@ once"), "50@@ once");
}

}  // namespace
}  // namespace plotlib
