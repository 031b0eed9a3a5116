#include "common/data_lines.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/written_files.h"

namespace trov {
namespace {

DataLines survey(const std::string& text) {
  std::istringstream in(text);
  return survey_data_lines(in);
}

TEST(data_lines_test, names_the_lines_that_break_the_pattern_and_the_signs_of_a_table) {
  const DataLines d = survey(
      "\xEF\xBB\xBF"
      "1 2\r\n0,3\r\n\r\n0,\r\n1 4 / note\r\n1\t5\r\n7\r\n");
  EXPECT_EQ(d.lines, 6);
  EXPECT_EQ(d.usual_values, 2);
  EXPECT_EQ(d.irregular_count, 2);
  ASSERT_EQ(d.irregular.size(), 2u);
  EXPECT_EQ(d.irregular[0].number, 4);
  EXPECT_EQ(d.irregular[1].number, 7);
  EXPECT_EQ(irregular_lines_text(d, 1), "line 4 holds 1 and 1 more");
  EXPECT_EQ(d.first_empty_value_line, 4);
  EXPECT_FALSE(d.header);
  EXPECT_EQ(d.first_text_line, 0);
  EXPECT_EQ(d.first_decimal_comma_line, 0);  // commas between digits separate values without tabs

  EXPECT_TRUE(survey("survived mass\n1 2.5\n0 3.5\n").header);
  const DataLines table = survey("survived;mass\n1;2,5\n0;3,5\n");
  EXPECT_FALSE(table.header);  // "1;2" is no number: text on every line
  EXPECT_EQ(table.first_semicolon_line, 1);
  EXPECT_EQ(table.first_decimal_comma_line, 2);
  EXPECT_EQ(survey("-1,3\t2,6\n").first_decimal_comma_line, 1);
  EXPECT_FALSE(survey("1 2\nYes 3\n").header);  // text below line 1: no header
  // what reads as a number: signs, points and exponents as the engine reads them, never inf or nan
  EXPECT_EQ(survey("+.5 -3. 1d3 2E-1 7\n").first_text_line, 0);
  for (const char* text : {"1.2.3", "-", ".", "5-", "1e", "inf", "NaN"})
    EXPECT_EQ(survey(std::string("1 ") + text + "\n").first_text, text) << text;
}

TEST(data_lines_test, lines_that_each_hold_more_than_a_case_lose_the_rest) {
  const DataLines pairs = survey("0 32.4 1 28.6\n1 31.5 1 27.8\n");
  EXPECT_TRUE(lines_hold_more_than_a_case(pairs, 2));
  EXPECT_EQ(more_than_a_case_text(pairs, 2),
            "every line of the data file holds 4 values where a case takes 2: each line is read as one case "
            "and its last 2 values are passed over");
  EXPECT_TRUE(more_than_a_case_text(pairs, 3).ends_with("its last value is passed over"));
  EXPECT_FALSE(lines_hold_more_than_a_case(pairs, 4));
  // lines that differ are the irregular lines' warning; a case over two lines takes no value too many
  EXPECT_FALSE(lines_hold_more_than_a_case(survey("0 32.4 1 28.6\n1 31.5\n"), 2));
  EXPECT_FALSE(lines_hold_more_than_a_case(survey("0\n32.4\n"), 2));
  EXPECT_FALSE(lines_hold_more_than_a_case(survey(""), 2));
}

TEST(data_lines_test, a_written_file_may_be_replaced_until_someone_changes_it) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("trov_written_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path ours = folder / "run1.json", theirs = folder / "cars.dat";
  std::ofstream(theirs) << "1 2\n";
  EXPECT_TRUE(replaceable(ours));  // no file yet
  EXPECT_FALSE(replaceable(theirs));
  std::ofstream(ours) << "{}\n";
  record_written(ours);
  EXPECT_TRUE(replaceable(ours));
  EXPECT_FALSE(replaceable(theirs));
  std::ofstream(ours) << "{\"edited\": 1}\n";  // changed by hand since: no longer ours
  EXPECT_FALSE(replaceable(ours));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace trov
