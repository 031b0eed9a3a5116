#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <sstream>
#include <string>

#include "common/parameter_lines.h"
#include "engine/analysis/pooling.h"
#include "engine/core/grouping.h"
#include "engine/io/data.h"
#include "engine/io/messages.h"
#include "engine/io/settings_file.h"

namespace trov {
namespace {

// How a reading of the files ends the run: the stop it throws up to the program's main.
template <typename Reading>
ProgramStop stop_of(const Reading& reading) {
  try {
    reading();
  } catch (const ProgramStop& stop) {
    return stop;
  }
  ADD_FAILURE() << "the run went on";
  return {ProgramStop::Kind::fault, ""};
}

std::string parameter_file(const std::string& nstep, const std::string& lmin, const std::string& lmax,
                           const std::string& iboot, const std::string& M = " 0",
                           const std::string& catcov = " 0", const std::string& stop = "0.005     ") {
  return "10        SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY\n" + M +
         "        M = number of covariates (0 or 1)\n" + catcov + "        catcov\n" + nstep + " nstep\n" +
         lmin + " lmin\n" + lmax + " lmax\n5         maxit\n" + stop +
         "stop = convergence tolerance\n 2        model\n" + " 2        icol\n" + iboot +
         " iboot\n2387498   random number seed for bootstrapping\ndemo1.dat\n";
}

Parameters parameters_of(const std::string& text) {
  std::istringstream in(text);
  ListReader reader(in, "test");
  return read_settings(reader);
}

Settings settings_of(const std::string& text) { return parameters_of(text).settings; }

TEST(settings_test, default_file_gives_the_default_settings) {
  const Parameters p = parameters_of(parameter_file(" 21", "-10", " 10", "0"));
  const Settings& s = p.settings;
  EXPECT_FALSE(p.columns.covariate);
  EXPECT_FALSE(s.categorical);
  EXPECT_EQ(s.grid_points, 21);
  EXPECT_FALSE(s.lnlambda);
  EXPECT_EQ(s.lnlambda_min, -10.0);
  EXPECT_EQ(s.lnlambda_max, 10.0);
  EXPECT_EQ(s.step(), 1.0);
  EXPECT_EQ(s.maxit, 5);
  EXPECT_EQ(s.stop, 0.004999999888241291);
  EXPECT_EQ(s.model, Model::binomial);
  EXPECT_FALSE(p.columns.counts);
  EXPECT_EQ(s.bootstrap, 0);
  EXPECT_EQ(s.seed, 2387498);
  EXPECT_TRUE(s.classic);
  EXPECT_FALSE(s.fit_recommended);
  EXPECT_EQ(settings_of(parameter_file("1", "0.1", "0", "0")).lnlambda, 0.10000000149011612);
  EXPECT_EQ(settings_of(parameter_file("1", "0", "0", "0", " 0", " 0", "0.00000001")).stop,
            static_cast<double>(1e-8f));
}

TEST(settings_test, conversions_round_and_truncate) {
  EXPECT_EQ(integer_setting(Reading::rounded, 2.5f), 3);
  EXPECT_EQ(integer_setting(Reading::rounded, -2.5f), -3);
  EXPECT_EQ(integer_setting(Reading::rounded, -0.4f), 0);
  EXPECT_EQ(integer_setting(Reading::rounded, 1e20f), 2147483647);  // saturates instead of overflowing
  EXPECT_EQ(integer_setting(Reading::truncated, 1.9f), 1);
  EXPECT_EQ(integer_setting(Reading::truncated, -0.7f), 0);
  EXPECT_EQ(settings_of(parameter_file("2.5", "0", "1", "0")).grid_points, 3);
  EXPECT_TRUE(parameters_of(parameter_file("1", "0", "1", "0", " 1.9")).columns.covariate);
  EXPECT_FALSE(parameters_of(parameter_file("1", "0", "1", "0", "-1")).columns.covariate);
  EXPECT_TRUE(settings_of(parameter_file("1", "0", "1", "0", " 1", "-1")).categorical);
  EXPECT_TRUE(settings_of(parameter_file("1", "0", "1", "0", " 1", " 2")).categorical);
  EXPECT_FALSE(settings_of(parameter_file("1", "0", "1", "0", " 1", " 0.7")).categorical);
  EXPECT_EQ(settings_of(parameter_file("1", "0", "1", "2.9")).bootstrap, 2);
}

TEST(settings_test, warnings_repair_the_grid) {
  testing::internal::CaptureStdout();
  Settings swapped = settings_of(parameter_file("11", "5", "-5", "0"));
  Settings equal = settings_of(parameter_file("11", "3", "3", "0"));
  Settings fixed = settings_of(parameter_file("-0.4", "2", "9", "0"));
  Settings no_boot = settings_of(parameter_file("21", "-10", "10", "200"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " Warning: lmin must be smaller than lmax\n Warning: lmin must be smaller than lmax\n"
            " Warning: number of lambdas (nstep) must be at least 1\n"
            " Warning: bootstrap available only for fixed lambda\n");
  EXPECT_EQ(swapped.lnlambda_min, -5.0);
  EXPECT_EQ(swapped.lnlambda_max, 5.0);
  EXPECT_EQ(swapped.step(), 1.0);
  EXPECT_EQ(equal.step(), 0.0);
  EXPECT_FALSE(fixed.grid());
  EXPECT_EQ(fixed.lnlambda, 2.0);
  EXPECT_EQ(no_boot.bootstrap, 1);
}

// A fault stops the reading where it meets it: the warnings before it are said, none after.
TEST(settings_test, a_fault_comes_after_the_warnings_that_precede_it) {
  auto with = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string swapped_boot = parameter_file("11", "5", "-5", "200");
  const struct {
    std::string text;
    const char* said;
  } cases[] = {
      {with(swapped_boot, "2387498   random", "0 random"), ""},
      {with(swapped_boot, " 2        model", "4 model"), " Warning: lmin must be smaller than lmax\n"},
      {with(swapped_boot, "5         maxit", "1001 maxit"),
       " Warning: lmin must be smaller than lmax\n Warning: bootstrap available only for fixed lambda\n"}};
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(stop_of([&] { settings_of(c.text); }).kind, ProgramStop::Kind::fault) << c.text;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.said) << c.text;
  }
}

TEST(settings_test, blank_lines_among_the_values_are_passed_over) {
  std::string text = parameter_file(" 21", "-10", " 10", "0");
  text.insert(text.find(" 0        catcov"), "\n   \n");
  EXPECT_EQ(settings_of(text).grid_points, 21);
}

// A parameter line must hold its value: a null (",", "/", "r*") would leave the setting unset.
TEST(settings_test, a_parameter_line_without_a_value_is_an_input_fault) {
  const std::string file = parameter_file(" 21", "-10", " 10", "0");
  const struct {
    std::string value;  // the line's first value, replaced by a null
    const char* null;
    int line;
  } cases[] = {{"10        SAVE", ",", 1},
               {" 21 nstep", "/", 4},
               {" 10 lmax", "3*", 6},
               {"0 iboot", ", 5", 11},
               {"2387498   random", "/", 12}};
  for (const auto& c : cases) {
    std::string text = file;
    const std::size_t at = text.find(c.value);
    text.replace(at, c.value.find(' ', 1), c.null);
    const ProgramStop stop = stop_of([&] { settings_of(text); });
    EXPECT_EQ(stop.kind, ProgramStop::Kind::file) << text;
    EXPECT_EQ(stop.text, "Error reading test, line " + std::to_string(c.line) + ": no value") << text;
  }
}

// The upper limits hold at their values, iboot only for a bootstrap and maxit only for models 2 and 3;
// the golden runs show the messages.
TEST(settings_test, nstep_iboot_maxit_and_lnlambda_have_limits) {
  auto with = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string grid = parameter_file("10000", "0", "1", "0");
  EXPECT_EQ(settings_of(grid).grid_points, 10000);
  EXPECT_EQ(settings_of(parameter_file("1", "0", "1", "100000")).bootstrap, 100000);
  EXPECT_EQ(settings_of(with(grid, "5         maxit", "1000 maxit")).maxit, 1000);
  EXPECT_EQ(
      settings_of(with(with(grid, "5         maxit", "1001 maxit"), " 2        model", "1 model")).maxit,
      1001);
  testing::internal::CaptureStdout();
  EXPECT_EQ(settings_of(parameter_file("2", "0", "1", "100001")).bootstrap, 1);  // a grid runs no bootstrap
  testing::internal::GetCapturedStdout();
  // ln(lambda) within 700: exp(700) ~ 1e304 is a double, a search near 1e15 can no longer shrink
  EXPECT_EQ(settings_of(parameter_file("3", "-700", "700", "0")).lnlambda_max, 700.0);
  EXPECT_EQ(settings_of(parameter_file("1", "700", "1e15", "0")).lnlambda, 700.0);  // lmax not read
  for (const std::string& text :
       {parameter_file("10001", "0", "1", "0"), parameter_file("1", "0", "1", "100001"),
        with(grid, "5         maxit", "1001 maxit"), parameter_file("3", "0", "1e15", "0"),
        parameter_file("3", "-701", "0", "0"), parameter_file("1", "701", "0", "0")}) {
    EXPECT_EQ(stop_of([&] { settings_of(text); }).kind, ProgramStop::Kind::fault) << text;
  }
}

void set_cases(Points& p, std::initializer_list<std::array<double, 4>> cases) {
  p = Points{};
  int i = 0;
  for (const auto& c : cases) {
    p.y.push_back(c[0]);
    p.x.push_back(c[1]);
    p.covariate.push_back(c[2]);
    p.counts.push_back(static_cast<int>(c[3]));
    ++i;
  }
  p.cases = i;
}

TEST(organizedata_test, pools_equal_x_with_weighted_means) {
  Points p;
  set_cases(p, {{1, 2, 0, 1}, {3, 2, 0, 1}, {5, 1, 0, 1}});
  organizedata(p, false);
  ASSERT_EQ(p.n, 2);
  EXPECT_EQ(p.x[0], 1);
  EXPECT_EQ(p.y[0], 5);
  EXPECT_EQ(p.counts[0], 1);
  EXPECT_EQ(p.x[1], 2);
  EXPECT_EQ(p.y[1], 2);
  EXPECT_EQ(p.counts[1], 2);

  set_cases(p, {{0.5, 1, 0, 4}, {0.25, 1, 0, 4}});
  organizedata(p, false);
  ASSERT_EQ(p.n, 1);
  EXPECT_EQ(p.counts[0], 8);
  EXPECT_EQ(p.y[0], 0.375);

  set_cases(p, {{0.1, 1, 0, 0}, {0.7, 1, 0, -3}});  // N below 1 counts as 1
  organizedata(p, false);
  EXPECT_EQ(p.counts[0], 2);
  EXPECT_DOUBLE_EQ(p.y[0], 0.4);
}

TEST(organizedata_test, covariate_splits_points_and_groups_them_by_x) {
  Points p;
  set_cases(p, {{1, 1, 2, 1}, {0, 1, 1, 1}, {0, 1, 2, 1}, {1, 0.5, 7, 1}});
  organizedata(p, true);
  ASSERT_EQ(p.n, 3);
  EXPECT_EQ(p.x[1], 1);
  EXPECT_EQ(p.covariate[1], 1);
  EXPECT_EQ(p.counts[1], 1);
  EXPECT_EQ(p.covariate[2], 2);
  EXPECT_EQ(p.counts[2], 2);
  EXPECT_EQ(p.y[2], 0.5);

  std::vector<double> yc(10);
  const XGroups g = compressx(p.x, p.counts, p.n);
  ASSERT_EQ(g.size, 2);
  EXPECT_EQ(g.points[1], 2);
  EXPECT_EQ(g.counts[1], 3);
  compressy(p.y, p.counts, g, yc);
  EXPECT_DOUBLE_EQ(yc[1], (0 * 1 + 0.5 * 2) / 3.0);
  std::vector<double> back(10);
  expandy(yc, g, back);
  EXPECT_EQ(back[1], yc[1]);
  EXPECT_EQ(back[2], yc[1]);
}

TEST(organizedata_test, sort_is_stable_and_vartest_is_exact) {
  std::vector<double> values{3, 1, 3, 2, 1};
  std::vector<int> perm(5);
  dpsort(values, 5, perm);
  EXPECT_EQ(perm, (std::vector<int>{1, 4, 3, 0, 2}));
  std::vector<double> y{1, 1, 1};
  EXPECT_TRUE(vartest(y, 3));
  EXPECT_TRUE(vartest(y, 1));
  y[2] = std::nextafter(1.0, 2.0);
  EXPECT_FALSE(vartest(y, 3));
}

}  // namespace
}  // namespace trov
