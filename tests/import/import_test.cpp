#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "common/list_reader.h"
#include "import/cases.h"
#include "import/table.h"

namespace trov::import {
namespace {

Cases imported(std::string_view text, Choice choice) {
  Table table;
  if (auto why = read_table(text, table)) ADD_FAILURE() << *why;
  Cases cases;
  if (auto why = take_cases(table, choice, cases)) ADD_FAILURE() << *why;
  return cases;
}

std::string fault_of(std::string_view text, Choice choice) {
  Table table;
  if (auto why = read_table(text, table)) return *why;
  Cases cases;
  return take_cases(table, choice, cases).value_or("");
}

// The same two cases, however a spreadsheet writes them.
TEST(import_test, reads_the_tables_spreadsheets_write) {
  const char* tables[] = {
      "mass,survived\n-1.5,1\n2.25,0\n",
      "\xEF\xBB\xBF\"mass\",\"survived\"\r\n-1.5,1\r\n2.25,0\r\n",  // BOM, quoted names, CR LF
      "mass;survived\r-1,5;1\r2,25;0\r",                            // semicolons, decimal commas, lone CR
      "mass\tsurvived\n-1,5\t1\n\n2,25\t0\n\t\n",                   // tabs, blank rows
      "mass,survived\n\"-1,5\",1\n\"2,25\",0\n",                    // decimal commas quoted among commas
      "  mass   survived\n -1.5  1\n 2.25e0 0\n",                   // blanks
      "mass,survived,note\n-1.5,1,\"a, \"\"quoted\"\"\nnote\"\n2.25,0,\n",  // a quoted field over lines
  };
  for (const char* text : tables) {
    const Cases c = imported(text, {.y = "survived", .x = "MASS"});
    EXPECT_EQ(c.y, (std::vector<double>{1, 0})) << text;
    EXPECT_EQ(c.x, (std::vector<double>{-1.5, 2.25})) << text;
    EXPECT_EQ(c.x_name, "mass") << text;
  }
  // no header: columns by number
  EXPECT_EQ(imported("1,2.5\n0,3.5\n", {.y = "1", .x = "2"}).x, (std::vector<double>{2.5, 3.5}));
}

TEST(import_test, leaves_out_missing_values_and_names_every_fault) {
  const Cases c = imported("y,x,c,n\n1,2,3,4\nNA,2,3,4\n1,.,3,4\n1,2,3,\n0,5,nan,1\n1,6,7,1\n",
                           {.y = "y", .x = "x", .n = "n"});
  EXPECT_EQ(c.y.size(), 3u);  // C is not chosen: its NaN leaves no case out
  EXPECT_EQ(c.left_out, 3);
  EXPECT_EQ(c.left_out_lines, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(left_out_text(c), "3 cases left out for missing values (lines 3, 4, 5)");
  EXPECT_EQ(data_file_text(c), "1 2 4\n0 5 1\n1 6 1\n");

  EXPECT_EQ(fault_of("y,x\n1,2\n1,abc\n", {.y = "y", .x = "x"}), "line 3, column 'x': 'abc' is not a number");
  EXPECT_EQ(fault_of("y,x,n\n1,2,1.5\n", {.y = "y", .x = "x", .n = "n"}),
            "line 2, column 'n': the count 1.5 is not a whole number");
  EXPECT_EQ(fault_of("y,x\n1,2\n", {.y = "y", .x = "z"}),
            "X: the table has no column 'z' (its columns: y, x)");
  EXPECT_EQ(fault_of("y,x,y\n1,2,3\n", {.y = "y", .x = "x"}), "Y: the table has 2 columns named 'y'");
  EXPECT_EQ(fault_of("y,x\n1,2,5\n", {.y = "y", .x = "x"}), "line 2 holds 3 fields, the header names 2");
  EXPECT_EQ(fault_of("y,x\n\"1,2\n", {.y = "y", .x = "x"}), "line 2: a quote '\"' is never closed");
  EXPECT_EQ(fault_of("y,x\nNA,1\n", {.y = "y", .x = "x"}), "no case holds a value in every chosen column");
}

TEST(import_test, takes_a_response_of_two_words_as_0_and_1) {
  EXPECT_EQ(imported("s;m\nYes;1\nno;2\nYes;3\n", {.y = "s", .x = "m"}).y, (std::vector<double>{1, 0, 1}));
  const Cases c = imported("s;m\nFALSE;1\nTRUE;2\n", {.y = "s", .x = "m"});
  EXPECT_EQ(c.y, (std::vector<double>{0, 1}));
  EXPECT_EQ(c.words, "TRUE = 1, FALSE = 0");
  EXPECT_EQ(imported("s;m\nalive;1\ndead;2\n", {.y = "s", .x = "m", .one = "dead"}).y,
            (std::vector<double>{0, 1}));
  EXPECT_EQ(fault_of("s;m\nalive;1\ndead;2\n", {.y = "s", .x = "m"}),
            "column 's' holds the words 'alive' and 'dead': say which is taken as 1");
  EXPECT_EQ(
      fault_of("s;m\nalive;1\ndead;2\ngone;3\n", {.y = "s", .x = "m", .one = "dead"}),
      "line 4, column 's': a third word 'gone' besides 'alive' and 'dead' (a response of words takes two)");
  EXPECT_EQ(fault_of("s;m\nalive;1\n1;2\n", {.y = "s", .x = "m", .one = "alive"}),
            "line 3, column 's': the number 1 among words");
}

// The data file reads back, as the engine reads it, to the very doubles of the table.
TEST(import_test, data_file_reads_back_exactly) {
  Cases c;
  c.y = {0.1, 1.0 / 3, -2.5e17, 5e-324};
  c.x = {1e300, -0.0, 123456.789012345678, 2.0 / 3};
  std::istringstream in(data_file_text(c));
  ListReader reader(in, "data");
  for (std::size_t i = 0; i < c.y.size(); ++i) {
    double y = 0, x = 0;
    ASSERT_TRUE(reader.read({&y, &x}).ok());
    EXPECT_EQ(y, c.y[i]);
    EXPECT_EQ(x, c.x[i]);
  }
}

}  // namespace
}  // namespace trov::import
