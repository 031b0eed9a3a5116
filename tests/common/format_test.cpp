#include "common/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace trov {
namespace {

TEST(format_test, f_rounds_signs_and_overflows) {
  EXPECT_EQ(edit_f(0.5, 12, 5), "     0.50000");
  EXPECT_EQ(edit_f(1234567.5, 12, 5), "************");
  EXPECT_EQ(edit_f(-0.000001, 12, 5), "     0.00000");
  EXPECT_EQ(edit_f(-10.0, 10, 5), " -10.00000");
  EXPECT_EQ(edit_f(99999.5, 12, 5), " 99999.50000");
  EXPECT_EQ(edit_f(-99999.5, 12, 5), "-99999.50000");  // fills the field: no blank before it
  EXPECT_EQ(edit_f(-0.5, 7, 5), "-.50000");          // one column too narrow: the leading 0 goes
  EXPECT_EQ(edit_f(0.125, 6, 2), "  0.13");          // ties go away from zero
  EXPECT_EQ(edit_f(0.005f, 9, 6), " 0.005000");
  EXPECT_EQ(edit_f(12.0, 5, 0), "  12.");
  EXPECT_EQ(edit_f(std::numeric_limits<double>::infinity(), 12, 5), "    Infinity");
  EXPECT_EQ(edit_f(-std::numeric_limits<double>::infinity(), 8, 5), "********");
  EXPECT_EQ(edit_f(std::nan(""), 10, 5), "       NaN");
}

TEST(format_test, g_chooses_fixed_or_exponent_form) {
  EXPECT_EQ(edit_g(0.5, 16, 8), "  0.50000000    ");
  EXPECT_EQ(edit_g(0.0, 16, 8), "   0.0000000    ");
  EXPECT_EQ(edit_g(0.05, 16, 8), "  0.50000000E-01");
  EXPECT_EQ(edit_g(0.0123, 16, 8), "  0.12300000E-01");
  EXPECT_EQ(edit_g(1.5, 16, 8), "   1.5000000    ");
  EXPECT_EQ(edit_g(123456789.0, 16, 8), "  0.12345679E+09");
  EXPECT_EQ(edit_g(12345678.0, 16, 8), "   12345678.    ");
  EXPECT_EQ(edit_g(-10.0, 18, 6), "      -10.0000    ");
  EXPECT_EQ(edit_g(0.099999999999, 16, 8), "  0.10000000    ");
  EXPECT_EQ(edit_e(1234.5, 16, 8), "  0.12345000E+04");
  EXPECT_EQ(edit_e(1e-150, 16, 8), "  0.10000000-149");
  EXPECT_EQ(edit_e(-1e-150, 14, 8), "-.10000000-149");
  EXPECT_EQ(edit_e(-1e-150, 13, 8), "*************");
  EXPECT_EQ(edit_g(std::nan(""), 16, 8), "             NaN");
}

TEST(format_test, i_and_a_fields) {
  EXPECT_EQ(edit_i(10000, 4), "****");
  EXPECT_EQ(edit_i(-12, 5), "  -12");
  EXPECT_EQ(edit_a("Y  ", 12), "         Y  ");
  EXPECT_EQ(edit_a("Covariate", 6), "Covari");
}

TEST(format_test, whole_formats_write_their_records) {
  EXPECT_EQ(format_record("(/A)", {" Search"}), "\n Search\n");
  EXPECT_EQ(format_record("(//A)", {" Program crashed (GLM weight is zero)"}),
            "\n\n Program crashed (GLM weight is zero)\n");
  EXPECT_EQ(format_record("(/1X,I4,A/)", {3, " cases read from file"}), "\n    3 cases read from file\n\n");
  EXPECT_EQ(format_record("(/A,I4)", {" Error when reading data from input file, line# = ", 1}),
            "\n Error when reading data from input file, line# =    1\n");
  EXPECT_EQ(format_record("(f10.5,4x,f10.5,4x,2G16.8,i5)", {-10.0, 2.5, 0.5, 0.0123, 7}),
            " -10.00000       2.50000      0.50000000      0.12300000E-01    7\n");
  // fewer items than descriptors: output stops at the next data descriptor
  EXPECT_EQ(format_record("(f10.5,4x,f10.5,4x,2G16.8)", {1.0, 2.0, 1.5}),
            "   1.00000       2.00000       1.5000000    \n");
  EXPECT_EQ(format_record("(2F12.5,I6,1X,F12.5)", {1.0, 2.0, 3, 0.25}),
            "     1.00000     2.00000     3      0.25000\n");
  EXPECT_EQ(format_record("(/3a12,a6,2a12,a)", {" Y  ", "X   ", "Covariate", "N", "Yhat ", "YhatC",
                                                "     Fitted values ->"}),
            "\n         Y          X      Covariate     N       Yhat        YhatC     Fitted values ->\n");
  EXPECT_EQ(format_record("(/9X,A,A)", {"Y", "Z"}), "\n         YZ\n");
  EXPECT_EQ(format_record("(A,G18.6)", {" Fixed lambda =    ", -10.0}),
            " Fixed lambda =          -10.0000    \n");
}

}  // namespace
}  // namespace trov
