#include "frontend/checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "frontend/run_files.h"

namespace trov::front {
namespace {

namespace fs = std::filesystem;

// Runs each test in a folder of its own, as trovwin runs in the user's folder.
class checks_test : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    dir_ = fs::temp_directory_path() / "trovwin_checks" / std::to_string(getpid()) /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(dir_);
  }
  fs::path home_, dir_;
};

std::string first_line(const std::optional<std::string>& text) {
  return text.value().substr(0, text->find('\n'));
}

// The first fault of the fields with one text changed.
std::optional<std::string> with_fixed_lambda(const std::string& text) {
  DialogValues v = default_values();
  v.iopt = 1;
  v.lmin = text;
  return number_field_fault(v);
}

TEST_F(checks_test, a_number_field_must_hold_exactly_one_number_the_engine_reads) {
  EXPECT_EQ(with_fixed_lambda("1o"),
            "\"Enter fixed lambda\" must hold one number: an ln(lambda) such as 4 or -2.5.\nYou typed: 1o\n"
            "Nothing has been run.");
  for (const char* typo : {"1,5", "2x3", "1.5.2", "1 2", "", "  ", "-", "1e", "2*3", "1*", "5/", ",5", "nan"})
    EXPECT_TRUE(with_fixed_lambda(typo)) << typo;
  for (const char* number : {"4", " -2.5 ", "1e-3", "1.0D0", "-.5", "0.00000001"})
    EXPECT_FALSE(with_fixed_lambda(number)) << number;
  EXPECT_EQ(first_line(with_fixed_lambda("1e39")),
            "\"Enter fixed lambda\" holds a number too large for the engine.");
  EXPECT_EQ(first_line(with_fixed_lambda("0.000000001")),
            "\"Enter fixed lambda\" is longer than the 10 characters trov.in holds for it.");
}

TEST_F(checks_test, whole_numbers_where_the_engine_needs_them_and_only_active_fields) {
  DialogValues v = default_values();                       // range option, binomial model
  v.nstep_text = "21.0", v.seed = "abc", v.iboot = "abc";  // bootstrap and seed are greyed
  EXPECT_FALSE(number_field_fault(v));
  v.maxit = "5.5";
  EXPECT_EQ(first_line(number_field_fault(v)),
            "\"maximum no. iterations\" must be a whole number: a count of iterations such as 5 or 50.");
  v.model = 1;  // the iteration settings are greyed for the normal model
  v.iopt = 1, v.lmin = "-4", v.iboot = "-2.5";
  // each field's example fits the field
  EXPECT_EQ(
      first_line(number_field_fault(v)),
      "\"No. bootstrap replicates\" must be a whole number: a count of replicates such as 0, 100 or 1000.");
  v.iboot = "1 00";
  EXPECT_EQ(
      first_line(number_field_fault(v)),
      "\"No. bootstrap replicates\" must hold one number: a count of replicates such as 0, 100 or 1000.");
  v.iboot = "100", v.seed = "2387498.0";
  EXPECT_EQ(
      first_line(number_field_fault(v)),
      "\"Random number seed\" must be a whole number written without a decimal point or exponent: a whole "
      "number from 1 to 2147483646, such as 2387498.");
}

// Names of files that do not exist yet compare as normalised paths; trov.out as output means no copy.
TEST_F(checks_test, run_files_are_refused_also_before_they_exist) {
  DialogValues v = default_values();
  for (const char* name :
       {"trov.json", "sub/../trov.wmf", "trov.options", "trov.json.tmp", "./trov.json.tmp.x1"}) {
    v.datfil = name;
    EXPECT_TRUE(file_name_fault(v)) << name;
  }
  v.datfil = "data.dat";
  for (const char* name : {"", "./trov.out", "copy.txt"}) {
    v.outfil = name;
    EXPECT_FALSE(file_name_fault(v)) << name;
  }
  v.outfil = (dir_ / "trov.json").string();
  EXPECT_EQ(file_name_fault(v).value(),
            "The output file name \"" + v.outfil +
                "\" is trov.json, which trovwin writes itself.\nChoose another name "
                "for the copy of the results. Nothing has been run.");
}

// The copies under the output stem (trov.wmf, trov.json, the figures) must not land on the data file or
// on one another; one that is the very file it copies is no copy.
TEST_F(checks_test, copies_under_the_output_stem_spare_the_data_and_each_other) {
  DialogValues v = default_values();
  v.datfil = "run1.json";
  v.outfil = "run1.out";
  EXPECT_EQ(file_name_fault(v).value(),
            "The copy of trov.json would be \"run1.json\", the data file.\nChoose another output file name. "
            "Nothing has been run.");
  v.datfil = "data.dat";
  v.outfil = "figure.png";
  EXPECT_EQ(
      file_name_fault(v).value(),
      "The output file name \"figure.png\" ends in .png, which the copy of trov.png takes.\nChoose a name "
      "with another ending (such as .out). Nothing has been run.");
  for (const char* name : {"trov.txt", "run1.out", "results"}) {
    v.outfil = name;
    EXPECT_FALSE(file_name_fault(v)) << name;
  }
}

TEST_F(checks_test, structure_question_when_every_line_holds_another_count_of_values) {
  std::ofstream("pairs.dat") << "2 10.61\n\n3,12.35\n1\t9.00\r\n";
  std::ofstream("mixed.dat") << "2 10.61 1\n3 12.35\n";
  DialogValues v = default_values();
  v.datfil = "pairs.dat";
  EXPECT_FALSE(structure_mismatch(v));
  v.icol = 1;
  EXPECT_EQ(
      structure_mismatch(v).value(),
      "pairs.dat has 2 values on each line;\n'Y X [C] N' with no covariate reads 3 per case, so each case "
      "would take values from the next line.\n\nRun anyway, or go back to the dialog and choose the "
      "structure and covariate that fit the file?");
  v.icol = 2, v.M = 1, v.catcov = 1;
  EXPECT_TRUE(structure_mismatch(v));
  v.datfil = "mixed.dat";  // a case may run over several lines
  EXPECT_FALSE(structure_mismatch(v));
  v.datfil = "nosuch.dat";  // the engine says so
  EXPECT_FALSE(structure_mismatch(v));
}

TEST_F(checks_test, lines_of_other_lengths_and_decimal_commas_are_asked_about) {
  DialogValues v = default_values();
  v.datfil = "plants.dat";
  std::ofstream("plants.dat") << "1 2\n0 3\n0,\n4\n1 5\n";
  EXPECT_EQ(
      first_line(data_lines_question(v)),
      "plants.dat: lines hold different numbers of values (line 3 holds 1, line 4 holds 1, most hold 2).");
  std::ofstream("plants.dat") << "1\t2,5\n0\t3,5\n";
  EXPECT_EQ(first_line(data_lines_question(v)),
            "plants.dat: line 1 holds decimal commas between tabs or semicolons, which the engine reads as "
            "separators between values.");
  std::ofstream("plants.dat") << "1 2\n0 3\n";
  EXPECT_FALSE(data_lines_question(v));
}

TEST_F(checks_test, copies_never_replace_a_file_trovwin_did_not_write_unasked) {
  DialogValues v = default_values();
  v.outfil = "cars.dat";
  std::ofstream("cars.dat") << "another data set\n";
  std::ofstream("cars.png") << "a figure of the user's\n";
  EXPECT_EQ(
      replace_question(v).value(),
      "The output file name \"cars.dat\" would replace files that trovwin did not write:\n    cars.dat\n"
      "    cars.png\n\nReplace them with this run's results?");
  std::ofstream("trov.out") << "results\n";
  std::ofstream("trov.png") << "figure\n";
  ASSERT_EQ(copy_results("cars.dat"), "");  // after a Yes
  EXPECT_FALSE(replace_question(v));        // now they are trovwin's
}

}  // namespace
}  // namespace trov::front
