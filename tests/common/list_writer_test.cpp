#include "common/list_writer.h"

#include <gtest/gtest.h>

namespace trov {
namespace {

TEST(list_writer_test, texts_integers_and_reals_follow_the_examples) {
  EXPECT_EQ(ListWriter().text("No. of observations =").integer(123).str(), " No. of observations = 123\n");
  EXPECT_EQ(ListWriter().text("Levels of the covariate =").real(1).real(2.5).real(-3).str(),
            " Levels of the covariate =  1.  2.5 -3.\n");
  EXPECT_EQ(ListWriter().text("Error: program cannot handle more than ").integer(10000).text(" cases").str(),
            " Error: program cannot handle more than  10000 cases\n");
  EXPECT_EQ(ListWriter().real(0.00123).real(0.00001).str(), "  0.00123  1.E-005\n");
  EXPECT_EQ(ListWriter().text("").str(), " \n");
  EXPECT_EQ(ListWriter().text(" ").str(), "  \n");
  EXPECT_EQ(ListWriter().integer(100).str(), " 100\n");
}

TEST(list_writer_test, reals_take_nine_digits_and_switch_to_exponent_form) {
  EXPECT_EQ(list_real_text(static_cast<double>(0.1f)), "  0.100000001");
  EXPECT_EQ(list_real_text(0.1), "  0.1");
  EXPECT_EQ(list_real_text(0.0), "  0.");
  EXPECT_EQ(list_real_text(123456789.0), "  123456789.");
  EXPECT_EQ(list_real_text(1e9), "  1.E+009");
  EXPECT_EQ(list_real_text(1.5e9), "  1.5E+009");
  EXPECT_EQ(list_real_text(0.0001), "  0.0001");
  EXPECT_EQ(list_real_text(-2.0 / 3.0), " -0.666666667");
  EXPECT_EQ(list_real_text(1.0 / 0.0), "  Infinity");
  EXPECT_EQ(list_real_text(-1.0 / 0.0), " -Infinity");
}

TEST(list_writer_test, records_wrap_before_column_80) {
  ListWriter w;
  w.text("Levels of the covariate =");
  for (int i = 1; i <= 20; ++i) w.real(i + 0.5);
  std::string out = w.str();
  std::size_t start = 0;
  int lines = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    EXPECT_LT(end - start, 80u);
    start = end + 1;
    ++lines;
  }
  EXPECT_GT(lines, 1);
  std::string long_text(100, 'x');
  EXPECT_EQ(ListWriter().text(long_text).str(), " " + long_text + "\n");
}

}  // namespace
}  // namespace trov
