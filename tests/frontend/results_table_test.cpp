#include "frontend/results_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace trov::front {
namespace {

using Kind = ResultsTable::Kind;

class results_table_test : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("trovwin_results_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "trov.out").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // Writes the text as trov.out and reads its table; returns why nothing can be plotted, or "".
  std::string read(const std::string& text, int M) {
    std::ofstream(path_, std::ios::binary) << text;
    return read_results_table(path_, M, table_);
  }
  std::filesystem::path dir_;
  std::string path_;
  ResultsTable table_;
};

const std::string kGridHeader =
    " No. of observations = 300\n"
    " No. of unique X-values = 275\n"
    " No. of grid steps =     3\n"
    " Range of lambdas =           -10.0000           10.0000    \n"
    " Max no. of iterations = 5\n"
    " Convergence tolerance = 0.005000\n"
    "\n"
    " Search for minimizer of cross validation function\n"
    "\n";

TEST_F(results_table_test, grid_table_without_covariate_reads_both_scores) {
  ASSERT_EQ(read(kGridHeader +
                     " ln(lambda)   #parameters      GCV score       OCV score     #iter\n"
                     " -10.00000     145.52400       1.2312045       1.4621337        5\n"
                     "   0.00000      12.00000      0.12300000E-01   1.5000000        4\n"
                     "  10.00000       2.00226       1.0110277       1.0110300        3\n",
                 0),
            "");
  EXPECT_EQ(table_.kind, Kind::grid);
  ASSERT_EQ(table_.n, 3);
  EXPECT_FLOAT_EQ(table_.lnlam[0], -10.0f);
  EXPECT_FLOAT_EQ(table_.nparam[0], 145.524f);
  EXPECT_FLOAT_EQ(table_.gcvf[1], 0.0123f);
  EXPECT_FLOAT_EQ(table_.ocvf[1], 1.5f);
  EXPECT_FLOAT_EQ(table_.ocvf[2], 1.01103f);
}

TEST_F(results_table_test, grid_table_with_covariate_skips_the_iteration_count) {
  ASSERT_EQ(read(" No. of observations = 300\n"
                 " No. of unique X and covariate values = 276\n"
                 " Levels of the covariate =  2.  1.\n"
                 "\n"
                 " Covariate fitted simultaneously\n"
                 "\n"
                 " ln(lambda)   #parameters      GCV score    #iter\n"
                 " -10.00000      52.36332       1.2075431        4\n"
                 "  10.00000       2.00226       1.0110277        4\n",
                 1),
            "");
  EXPECT_EQ(table_.kind, Kind::grid);
  ASSERT_EQ(table_.n, 2);
  EXPECT_FLOAT_EQ(table_.gcvf[0], 1.2075431f);
  EXPECT_FLOAT_EQ(table_.lnlam[1], 10.0f);
  EXPECT_FLOAT_EQ(table_.nparam[1], 2.00226f);
}

const std::string kFixedHeader =
    " No. of observations = 300\n"
    " No. of unique X-values = 275\n"
    " Fixed lambda =           4.00000    \n"
    "\n"
    " ln(lambda)   #parameters      GCV score       OCV score     #iter\n"
    "   4.00000       2.62119      0.95342031      0.95386443        3\n";

TEST_F(results_table_test, fitted_table_without_covariate_takes_y_x_and_yhat) {
  ASSERT_EQ(read(kFixedHeader +
                     "  \n"
                     "         Y          X        N        Yhat   ln Yhat/(1-Yhat)\n"
                     "     0.00000    20.46000     1      0.38372    -0.47380\n"
                     "     0.50000    21.35000     2      0.42990    -0.28228\n",
                 0),
            "");
  EXPECT_EQ(table_.kind, Kind::fitted);
  ASSERT_EQ(table_.n, 2);
  EXPECT_FLOAT_EQ(table_.y[1], 0.5f);
  EXPECT_FLOAT_EQ(table_.x[1], 21.35f);
  EXPECT_FLOAT_EQ(table_.yhat[1], 0.4299f);
}

TEST_F(results_table_test, fitted_table_with_covariate_takes_uncorrected_and_corrected_values) {
  ASSERT_EQ(read(kFixedHeader +
                     " \n"
                     " Levels of the covariate =  2.  1.\n"
                     " Covariate coefficients =  0.  1.18242949\n"
                     " \n"
                     " Last columns are fitted Yhats for each covariate level, in order:\n"
                     "\n"
                     "         Y          X      Covariate     N       Yhat        YhatC     Fitted values ->\n"
                     "     0.00000    18.39000     2.00000     1     0.00370     0.00663     0.00370     0.01196\n"
                     "     1.00000    19.59000     1.00000     1     0.02107     0.01173     0.00655     0.02107\n",
                 1),
            "");
  EXPECT_EQ(table_.kind, Kind::fitted);
  ASSERT_EQ(table_.n, 2);
  EXPECT_FLOAT_EQ(table_.y[1], 1.0f);
  EXPECT_FLOAT_EQ(table_.x[1], 19.59f);
  EXPECT_FLOAT_EQ(table_.ypred[1], 0.02107f);
  EXPECT_FLOAT_EQ(table_.yhat[1], 0.01173f);
}

const std::string kBootstrapSection =
    "\n"
    " Summary of bootstrap results\n"
    "\n"
    " Number of bootstrap replications =  100\n"
    "\n"
    "         Y          X          Yhat     Yhat-1SE    Yhat+1SE\n"
    "     0.00000    20.46000     0.38372     0.29820     0.47709\n"
    "     1.00000    21.35000     0.42990     0.34902     0.51470\n"
    "     0.00000    21.43000     0.43412     0.35376     0.51809\n";

TEST_F(results_table_test, bootstrap_table_is_taken_over_an_earlier_fitted_heading) {
  // a fitted-value heading ahead of the bootstrap section must not be taken
  ASSERT_EQ(read(kFixedHeader +
                     "  \n"
                     "         Y          X        N        Yhat  \n"
                     "     9.00000    99.00000     1      9.00000\n" +
                     kBootstrapSection,
                 0),
            "");
  EXPECT_EQ(table_.kind, Kind::bootstrap);
  ASSERT_EQ(table_.n, 3);
  EXPECT_FLOAT_EQ(table_.x[0], 20.46f);
  EXPECT_FLOAT_EQ(table_.yhat[1], 0.4299f);
  EXPECT_FLOAT_EQ(table_.yminus[1], 0.34902f);
  EXPECT_FLOAT_EQ(table_.yplus[2], 0.51809f);
  // with a covariate the heading has no empty line before it and its fields are right-aligned
  ASSERT_EQ(read(kFixedHeader +
                     "\n Summary of bootstrap results\n\n Number of bootstrap replications =   10\n"
                     "         Y           X       YhatC   YhatC-1SE   YhatC+1SE\n"
                     "     0.00000    18.39000     0.00663     0.00100     0.01200\n",
                 1),
            "");
  EXPECT_EQ(table_.kind, Kind::bootstrap);
  ASSERT_EQ(table_.n, 1);
  EXPECT_FLOAT_EQ(table_.yplus[0], 0.012f);
}

TEST_F(results_table_test, heading_far_down_the_file_is_found) {
  // a categorical covariate's many levels wrap over many lines before the table
  std::string text = kFixedHeader;
  for (int k = 0; k < 30; ++k) text += "  1.  2.  3.  4.  5.  6.  7.  8.  9.  10.  11.  12.  13.  14.  15.  16.\n";
  text += "\n         Y          X      Covariate     N       Yhat        YhatC     Fitted values ->\n"
          "     0.00000    18.39000     2.00000     1     0.00370     0.00663     0.00370     0.01196\n";
  ASSERT_EQ(read(text, 1), "");
  EXPECT_EQ(table_.kind, Kind::fitted);
  EXPECT_EQ(table_.n, 1);
}

TEST_F(results_table_test, reading_stops_after_the_most_records) {
  std::string text = kGridHeader + " ln(lambda)   #parameters      GCV score       OCV score \n";
  for (int k = 0; k < kMostRecords + 5; ++k) text += "   1.00000       2.00000       1.0000000       1.0000000    \n";
  ASSERT_EQ(read(text, 0), "");
  EXPECT_EQ(table_.n, kMostRecords);
}

TEST_F(results_table_test, files_that_give_no_plot_say_why) {
  std::filesystem::remove(path_);
  EXPECT_EQ(read_results_table(path_, 0, table_), "the engine wrote no " + path_);
  EXPECT_EQ(read("", 0), path_ + " is empty");
  EXPECT_EQ(read(" No. of observations = 300\n No. of unique X-values = 275\n", 0),
            path_ + " holds no table of results");
  EXPECT_EQ(read(kGridHeader + " ln(lambda)   #parameters      GCV score       OCV score \n", 0),
            "the table in " + path_ + " has no records");
  // a bootstrap that stopped on too many degenerate samples leaves only the grid line
  EXPECT_EQ(read(kFixedHeader, 0), path_ + " holds no fitted-value or bootstrap table");
  // a value too wide for its field prints as asterisks (line 13 of the file)
  const std::string why = read(kFixedHeader +
                                   "  \n"
                                   "         Y          X        N        Yhat  \n"
                                   "     0.00000    20.46000     1      0.38372\n"
                                   "     0.00000    21.46000     1 ************\n",
                               0);
  EXPECT_EQ(why.rfind("line 10 of " + path_ + " is not a line of numbers", 0), 0u) << why;
}

}  // namespace
}  // namespace trov::front
