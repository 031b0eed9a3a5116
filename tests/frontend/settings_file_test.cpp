#include "frontend/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace trov::front {
namespace {

// Line 13: the name in 100 columns.
std::string name_line(const std::string& name) { return name + std::string(100 - name.size(), ' ') + "\n"; }

// The 13 lines with the given fields; integers are written as one blank and their digits.
std::string parameter_text(const std::string& M, const std::string& catcov, const std::string& nstep,
                           const std::string& lmin, const std::string& lmax, const std::string& maxit,
                           const std::string& stop, const std::string& model, const std::string& icol,
                           const std::string& iboot, const std::string& seed, const std::string& name) {
  return "10        SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY\n"
         " " +
         M +
         "        M = number of covariates (0 or 1)\n"
         " " +
         catcov + "        catcov = covariate is continuous (0) or category (1)\n" + nstep +
         "nstep = number of lambdas to search over\n" + lmin +
         "lmin = smallest ln(lambda) of search, or fixed ln(lambda)\n" + lmax +
         "lmax = largest ln(lambda) of search\n" + maxit +
         "maxit = max number of iterations for spline fit\n" + stop +
         "stop = convergence tolerance for spline fit\n"
         " " +
         model +
         "        model 1 = normal 2= binomial 3=poisson\n"
         " " +
         icol + "        icol 1 =third data column has #replicates, 2=not\n" + iboot +
         "iboot = Number of bootstrap replications to carry out\n" + seed +
         "random number seed for bootstrapping\n" + name_line(name);
}

// Line k (1-based) of a text, without its line end.
std::string line_of(const std::string& text, int k) {
  std::size_t start = 0;
  for (int i = 1; i < k; ++i) start = text.find('\n', start) + 1;
  return text.substr(start, text.find('\n', start) - start);
}

const std::string kDefaults = parameter_text("0", "0", " 21       ", "-10       ", " 10       ", "5         ",
                                             "0.005     ", "2", "2", "0         ", "2387498   ", "demo1.dat");

// The dialog's entries as the default dialog shows them.
DialogEntries shown_defaults() {
  DialogEntries e;
  e.covariate = 1;
  e.fixed = "-10", e.smallest = "-10", e.largest = " 10", e.number = " 21";
  e.iterations = "5", e.tolerance = "0.005";
  e.model = 2, e.structure = 2;
  e.boot = "0", e.seed = "2387498", e.data_file = "demo1.dat", e.output_file = "trov.out";
  return e;
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("trovwin_settings_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string write(const std::string& text) {
    std::string path = (dir_ / "trov.in").string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::filesystem::path dir_;
};

using settings_file_test = TempDir;

TEST_F(settings_file_test, afromi_is_a_blank_and_the_digits_in_ten_columns) {
  EXPECT_EQ(afromi(21), " 21       ");
  EXPECT_EQ(afromi(-3), " -3       ");
  EXPECT_EQ(afromi(1234567890), " 123456789");
}

TEST_F(settings_file_test, defaults_write_the_documented_file_and_read_back_unchanged) {
  DialogValues v = default_values();
  EXPECT_EQ(v.iopt, 2);
  EXPECT_EQ(v.icov, 1);
  take_back(shown_defaults(), v);
  EXPECT_EQ(parameter_file_text(v), kDefaults);
  EXPECT_EQ(v.outfil, "trov.out");
  // the bootstrap re-chooses lambda and resamples from the fitted curve unless trov.options says otherwise
  EXPECT_EQ(v.options.bootstrap_lambda, BootstrapLambda::reselected);
  EXPECT_EQ(v.options.bootstrap_type, BootstrapType::parametric);
  EXPECT_EQ(options_text(v.options), "");
}

TEST_F(settings_file_test, next_start_up_shows_what_was_written) {
  DialogValues v = default_values();
  v.iopt = 1;
  DialogEntries e = shown_defaults();
  e.covariate = 3, e.fixed = "4", e.boot = "100", e.model = 3, e.structure = 1;
  e.criterion = 4, e.bootstrap_lambda = 1, e.x_title = "  Wing \"L\" (mm) ";
  take_back(e, v);
  EXPECT_EQ(options_text(v.options),
            "criterion = ubre\nbootstrap_lambda = fixed\nx_label = \"Wing \"L\" (mm)\"\n");
  // resampling the cases re-chooses lambda, whatever the greyed list shows
  DialogValues cases = v;
  e.bootstrap_type = 2;
  take_back(e, cases);
  EXPECT_EQ(options_text(cases.options),
            "criterion = ubre\nbootstrap_type = cases\nx_label = \"Wing \"L\" (mm)\"\n");
  Options loaded;  // a file without the key re-chooses lambda
  loaded.bootstrap_lambda = BootstrapLambda::fixed;
  ASSERT_EQ(load_options_file(write("criterion = gcv\n"), loaded), "");
  EXPECT_EQ(loaded.bootstrap_lambda, BootstrapLambda::reselected);
  Options read_back;
  EXPECT_FALSE(parse_options(options_text(v.options), read_back));
  EXPECT_EQ(read_back, v.options);
  const std::string text = parameter_file_text(v);
  DialogValues again;
  ASSERT_EQ(load_parameter_file(write(text), again), "");
  EXPECT_EQ(again.iopt, 1);
  EXPECT_EQ(again.icov, 3);
  take_back(e, again);      // OK pressed at once
  std::string same = text;  // the largest lambda, not in the dialog, comes back as its value
  same.replace(same.find(" 10       lmax"), 10, "10        ");
  EXPECT_EQ(parameter_file_text(again), same);
}

TEST_F(settings_file_test, fixed_lambda_writes_one_step_the_fixed_field_the_old_lmax_and_the_bootstrap) {
  DialogValues v = default_values();
  v.lmax = "7.5       ";  // from an earlier range run
  v.iopt = 1;             // as the option list's callback stored it
  DialogEntries e = shown_defaults();
  e.fixed = "4", e.smallest = "-3", e.largest = "99", e.number = "5";  // range fields are not read
  e.boot = "100", e.seed = "12345";
  take_back(e, v);
  EXPECT_EQ(parameter_file_text(v),
            parameter_text("0", "0", "1         ", "4         ", "7.5       ", "5         ", "0.005     ",
                           "2", "2", "100       ", "12345     ", "demo1.dat"));
}

TEST_F(settings_file_test, range_of_lambdas_writes_no_bootstrap_but_still_the_seed) {
  DialogValues v = default_values();
  DialogEntries e = shown_defaults();
  e.fixed = "4", e.smallest = "-5", e.largest = "5", e.number = "11", e.boot = "250", e.seed = "777";
  take_back(e, v);
  EXPECT_EQ(parameter_file_text(v),
            parameter_text("0", "0", "11        ", "-5        ", "5         ", "5         ", "0.005     ",
                           "2", "2", "0         ", "777       ", "demo1.dat"));
}

TEST_F(settings_file_test, normal_model_and_covariate_choices_still_write_every_line) {
  DialogValues v = default_values();
  DialogEntries e = shown_defaults();
  e.model = 1, e.iterations = "9", e.tolerance = "0.1";  // greyed for the normal model, written anyway
  e.covariate = 2;
  take_back(e, v);
  EXPECT_EQ(parameter_file_text(v),
            parameter_text("1", "0", " 21       ", "-10       ", " 10       ", "9         ", "0.1       ",
                           "1", "2", "0         ", "2387498   ", "demo1.dat"));
  e.covariate = 3;
  take_back(e, v);
  EXPECT_EQ(v.M, 1);
  EXPECT_EQ(v.catcov, 1);
  e.covariate = 1;
  take_back(e, v);
  EXPECT_EQ(v.M, 0);
  EXPECT_EQ(v.catcov, 0);
}

TEST_F(settings_file_test, long_field_texts_are_cut_and_names_lose_their_outer_blanks) {
  DialogValues v = default_values();
  DialogEntries e = shown_defaults();
  e.tolerance = "0.000000001x";  // 12 characters: the first 10 run straight into the comment
  e.data_file = "  my data.dat  ";
  e.output_file = "  copy of results.txt ";
  take_back(e, v);
  const std::string text = parameter_file_text(v);
  EXPECT_NE(text.find("\n0.00000000stop = convergence tolerance for spline fit\n"), std::string::npos)
      << text;
  EXPECT_EQ(text.substr(text.size() - 101), name_line("my data.dat"));
  EXPECT_EQ(v.outfil, "copy of results.txt");
}

TEST_F(settings_file_test, nstep_zero_opens_in_fixed_lambda_and_writes_one_step) {
  DialogValues v;
  const std::string text = parameter_text("0", "0", " 0        ", "3         ", " 10       ", "5         ",
                                          "0.005     ", "2", "2", "0         ", "2387498   ", "demo1.dat");
  ASSERT_EQ(load_parameter_file(write(text), v), "");
  EXPECT_EQ(v.nstep, 1);
  EXPECT_EQ(v.iopt, 1);
  take_back(shown_defaults(), v);  // the fixed-lambda field shows "-10"
  EXPECT_EQ(line_of(parameter_file_text(v), 4), "1         nstep = number of lambdas to search over");
  EXPECT_EQ(v.lmin, "-10");
}

TEST_F(settings_file_test, reads_the_values_and_a_long_data_file_name_whole) {
  const std::string name =
      "/a/folder/with/a/rather/long/path/to/the/data/files/of/this/study/demo1.dat";  // 76
  DialogValues v;
  const std::string text = parameter_text("1", "1", " 21       ", "-2        ", "8         ", "7         ",
                                          "0.01      ", "3", "1", "0         ", "99        ", name);
  ASSERT_EQ(load_parameter_file(write(text), v), "");
  EXPECT_EQ(v.datfil, name);
  EXPECT_EQ(v.M, 1);
  EXPECT_EQ(v.catcov, 1);
  EXPECT_EQ(v.icov, 3);
  EXPECT_EQ(v.nstep_text, " 21       ");
  EXPECT_EQ(v.iopt, 2);
  EXPECT_EQ(v.lmin, "-2");
  EXPECT_EQ(v.maxit, "7");
  EXPECT_EQ(v.stop, "0.01");
  EXPECT_EQ(v.model, 3);
  EXPECT_EQ(v.icol, 1);
  EXPECT_EQ(v.seed, "99");
  // a name beyond the 100 columns is written whole too
  v.datfil = std::string(120, 'd');
  const std::string long_name = parameter_file_text(v);
  EXPECT_EQ(long_name.substr(long_name.size() - 121), v.datfil + "\n");
}

// As the engine reads it: values converted line by line, empty lines passed over, the rest of a line
// after its value ignored, whatever the columns.
TEST_F(settings_file_test, reads_values_as_the_engine_reads_them) {
  DialogValues v;
  v.outfil = "copy.txt";  // not kept in trov.in: stays
  ASSERT_EQ(load_parameter_file(write("10 lines\n-1.9\n\n0.7 catcov\n21.0\n-1e1\n2.5D0\n2.5\n0.00000001stop\n"
                                      "2.6\n7\n2.9\n12345\n my data.dat  \n"),
                                v),
            "");
  EXPECT_EQ(v.icov, 1);  // a negative M is no covariate
  EXPECT_EQ(v.catcov, 0);
  EXPECT_EQ(v.nstep, 21);
  EXPECT_EQ(v.iopt, 2);
  EXPECT_EQ(v.nstep_text, " 21       ");
  EXPECT_EQ(v.lmin, "-10");
  EXPECT_EQ(v.lmax, "2.5");
  EXPECT_EQ(v.maxit, "3");  // rounded, halves away from zero
  EXPECT_EQ(v.stop, "1e-08");
  EXPECT_EQ(v.model, 3);
  EXPECT_EQ(v.icol, 2);     // any value but 1: no count column
  EXPECT_EQ(v.iboot, "2");  // truncated
  EXPECT_EQ(v.seed, "12345");
  EXPECT_EQ(v.datfil, " my data.dat");
  EXPECT_EQ(v.outfil, "copy.txt");
}

TEST_F(settings_file_test, a_file_the_engine_cannot_read_is_refused_with_the_reason) {
  DialogValues v = default_values();
  v.lmin = "3";
  auto refused = [&](const std::string& text) { return load_parameter_file(write(text), v); };
  std::string text = kDefaults;
  text.replace(text.find(" 0        M"), 2, " x");
  EXPECT_EQ(refused(text), "line 2: invalid number");
  text = kDefaults;
  text.replace(text.find("2387498"), 7, "2387.98");
  EXPECT_EQ(refused(text), "line 12: invalid integer");
  text = kDefaults;
  text.replace(0, 2, "12");
  EXPECT_EQ(refused(text), "line 1 holds 12, not 10");
  text = kDefaults;
  text.replace(text.find("-10 "), 3, ",  ");
  EXPECT_EQ(refused(text), "line 5 holds no value");
  EXPECT_EQ(refused(kDefaults.substr(0, kDefaults.find("demo1.dat"))), "it ends after line 12");
  EXPECT_EQ(v.lmin, "3");  // the values stay as they were
}

}  // namespace
}  // namespace trov::front
