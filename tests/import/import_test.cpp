#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "common/list_reader.h"
#include "engine/io/traits_table.h"
#include "import/cases.h"
#include "import/encoding.h"
#include "import/table.h"

namespace trov::import {
namespace {

using namespace std::string_literals;

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
  EXPECT_EQ(fault_of("y,x\n", {.y = "y", .x = "x"}), "the table holds no cases, only its header row");
  // a cell is shown on one line, cut: a NUL byte or a megabyte does not reach the message whole
  EXPECT_EQ(fault_of("y,x\n1,\"a\0b\nc\"\n"s, {.y = "y", .x = "x"}),
            "line 2, column 'x': 'a\\x00b\\x0ac' is not a number");
  EXPECT_EQ(fault_of("y,x\n1,\"" + std::string(1 << 20, 'z') + "\"\n", {.y = "y", .x = "x"}),
            "line 2, column 'x': '" + std::string(40, 'z') + "...' is not a number");
}

// A comma in a quoted cell of a comma-separated table is a decimal comma only where it cannot separate
// thousands; a column never mixes decimal commas and points.
TEST(import_test, refuses_a_decimal_comma_that_may_separate_thousands) {
  EXPECT_EQ(
      fault_of("y,x\n1,\"1,234\"\n0,987\n1,2.5\n", {.y = "y", .x = "x"}),
      "line 2, column 'x': '1,234' is ambiguous: a thousands separator or a decimal comma, where line 4 "
      "holds a decimal point ('2.5'); write the numbers with one decimal mark, without thousands "
      "separators");
  EXPECT_EQ(fault_of("y,x\n1,\"1,234\"\n0,987\n", {.y = "y", .x = "x"}),
            "line 2, column 'x': '1,234' is ambiguous in a comma-separated table: a thousands separator or a "
            "decimal comma; write the numbers with decimal points, or separate the fields by semicolons");
  EXPECT_EQ(fault_of("y;x\n1;1,5\n0;2.5\n", {.y = "y", .x = "x"}).substr(0, 45),
            "line 2, column 'x': '1,5' is ambiguous: a tho");
  // sure decimal commas: one that cannot group thousands makes the column's others sure too
  EXPECT_EQ(imported("y,x\n1,\"1,234\"\n0,\"2,5\"\n1,7\n", {.y = "y", .x = "x"}).x,
            (std::vector<double>{1.234, 2.5, 7}));
  EXPECT_EQ(imported("y;x\n1;1,234\n0;987\n", {.y = "y", .x = "x"}).x, (std::vector<double>{1.234, 987}));
}

TEST(import_test, takes_a_response_of_two_words_as_0_and_1) {
  const Cases yes = imported("s;m\nYes;1\nno;2\nyes;3\nNO;4\n", {.y = "s", .x = "m"});  // any case
  EXPECT_EQ(yes.y, (std::vector<double>{1, 0, 1, 0}));
  EXPECT_EQ(yes.words, "Yes = 1, no = 0");
  const Cases c = imported("s;m\nFALSE;1\nTRUE;2\n", {.y = "s", .x = "m"});
  EXPECT_EQ(c.y, (std::vector<double>{0, 1}));
  EXPECT_EQ(c.words, "TRUE = 1, FALSE = 0");
  EXPECT_EQ(imported("s;m\nalive;1\nDead;2\nALIVE;3\n", {.y = "s", .x = "m", .one = "dead"}).y,
            (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(fault_of("s;m\nalive;1\ndead;2\n", {.y = "s", .x = "m"}),
            "column 's' holds the words 'alive' and 'dead': say which is taken as 1");
  EXPECT_EQ(
      fault_of("s;m\nalive;1\ndead;2\ngone;3\n", {.y = "s", .x = "m", .one = "dead"}),
      "line 4, column 's': a third word 'gone' besides 'alive' and 'dead' (a response of words takes two)");
  EXPECT_EQ(fault_of("s;m\nalive;1\n1;2\n", {.y = "s", .x = "m", .one = "alive"}),
            "line 3, column 's': the number 1 among words");
}

// Spreadsheets' encodings give the same text; others are refused by name.
TEST(import_test, reads_utf8_utf16_and_windows_1252) {
  const std::string utf8 = "alive\tmass (\xC2\xB5g) \xE2\x82\xAC\r\nYes\t2,5\r\n";
  std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
  for (char16_t unit : std::u16string(u"alive\tmass (\u00B5g) \u20AC\r\nYes\t2,5\r\n")) {
    utf16le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    utf16be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  }
  const std::pair<std::string, const char*> inputs[] = {
      {utf8, "UTF-8"},
      {"\xEF\xBB\xBF" + utf8, "UTF-8"},
      {utf16le, "UTF-16"},
      {utf16be, "UTF-16"},
      {"alive\tmass (\xB5g) \x80\r\nYes\t2,5\r\n", "Windows-1252"}};
  for (const auto& [bytes, name] : inputs) {
    std::string text, encoding;
    EXPECT_FALSE(decode_text(bytes, text, encoding)) << name;
    EXPECT_EQ(text, utf8) << name;
    EXPECT_EQ(encoding, name);
  }
  const std::pair<std::string, const char*> refused[] = {
      {std::string("\xFF\xFE\0\0a\0\0\0", 8),
       "is UTF-32 text, which the import does not read: save the table as CSV UTF-8 (or UTF-16)"},
      {std::string("a\0,\0b\0\n\0", 8),
       "is UTF-16 text without a byte-order mark: save it with one (as spreadsheets write \"Unicode text\"), "
       "or as "
       "CSV UTF-8"},
      {"\xFF\xFE\x00\xD8x"s + '\0',
       "is not valid UTF-16: an unpaired surrogate or a lone byte (line 1); save the table as CSV UTF-8"},
      {"PK\x03\x04...", "is a workbook (.xlsx or .ods), not a text table: save the sheet as CSV"},
      {"a,b\n1,\x01\xE9\n",
       "is not UTF-8 and holds the control byte 0x01 (line 2): not a text table? (save the table as CSV "
       "UTF-8)"},
      {"a,\xC3\xA9\n\xE9\n",
       "mixes UTF-8 with bytes that are not UTF-8 (byte 0xE9, line 2): save the table as CSV UTF-8"},
      {"a,b\n\x81\n",
       "is neither UTF-8 nor Windows-1252 (Latin-1) text (byte 0x81, line 2): save the table as CSV UTF-8"}};
  for (const auto& [bytes, why] : refused) {
    std::string text, encoding;
    EXPECT_EQ(decode_text(bytes, text, encoding).value_or(""), why);
  }
  EXPECT_EQ(name_as_utf8("ma\xDF"
                         "e\x81.csv"),
            "ma\xC3\x9F"
            "e\xEF\xBF\xBD.csv");
}

// A covariate of words is categorical, its words coded 1, 2, ... in sorted order; a few whole numbers
// are taken as numbers unless said, and told of.
TEST(import_test, takes_a_covariate_of_words_as_levels) {
  const Cases c = imported("y,x,site\n1,1,forest\n0,2, field\n1,3,NA\n0,4,meadow\n1,5,field\n",
                           {.y = "y", .x = "x", .c = "site"});
  EXPECT_TRUE(c.categorical);
  EXPECT_EQ(c.levels, (std::vector<std::string>{"field", "forest", "meadow"}));
  EXPECT_EQ(c.c, (std::vector<double>{2, 1, 3, 1}));
  EXPECT_EQ(columns_text(c), "Y y; X x; C site, categorical: field = 1, forest = 2, meadow = 3");

  const std::string doses = "y,x,dose\n1,1,1\n0,2,3\n1,3,2\n0,4,3\n";
  const Cases unsaid = imported(doses, {.y = "y", .x = "x", .c = "dose"});
  EXPECT_FALSE(unsaid.categorical);
  EXPECT_EQ(unsaid.few_values, (std::vector<double>{1, 2, 3}));
  const Cases said = imported(doses, {.y = "y", .x = "x", .c = "dose", .c_kind = CovariateKind::categorical});
  EXPECT_TRUE(said.categorical);
  EXPECT_EQ(said.c, (std::vector<double>{1, 3, 2, 3}));  // numbers keep their values as levels
  EXPECT_TRUE(said.levels.empty() && said.few_values.empty());
  EXPECT_TRUE(imported(doses, {.y = "y", .x = "x", .c = "dose", .c_kind = CovariateKind::continuous})
                  .few_values.empty());
  EXPECT_TRUE(imported("y,x,t\n1,1,1.5\n0,2,2\n", {.y = "y", .x = "x", .c = "t"}).few_values.empty());
  // numbers among words are levels only when said
  EXPECT_EQ(imported("y,x,site\n1,1,field\n0,2,3\n",
                     {.y = "y", .x = "x", .c = "site", .c_kind = CovariateKind::categorical})
                .levels,
            (std::vector<std::string>{"3", "field"}));

  std::string many = "y,x,site\n";
  for (int k = 0; k < 21; ++k) many += "1," + std::to_string(k) + ",s" + std::to_string(k) + "\n";
  EXPECT_EQ(
      fault_of(many, {.y = "y", .x = "x", .c = "site"}),
      "column 'site' holds more than 20 different values: a categorical covariate takes at most 20 levels");
  EXPECT_EQ(
      fault_of("y,x,site\n1,1,field\n0,2,Field\n", {.y = "y", .x = "x", .c = "site"}),
      "line 3, column 'site': 'Field' and 'field' (line 2) differ in case alone: write each level alike");
  EXPECT_EQ(fault_of("y,x,site\n1,1,field\n0,2,3\n", {.y = "y", .x = "x", .c = "site"}),
            "line 3, column 'site': the number 3 among words (to take every value as a level, mark the "
            "covariate categorical)");
  EXPECT_EQ(fault_of("y,x,site\n1,1,field\n",
                     {.y = "y", .x = "x", .c = "site", .c_kind = CovariateKind::continuous}),
            "line 2, column 'site': 'field' is not a number");
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

// Several traits: a case without a value in any trait is left out of both files, and the traits table
// reads back in trov40 as the same cases, the covariate under a name its header can hold.
TEST(import_test, writes_the_traits_table_of_the_data_files_cases) {
  Choice choice{.y = "y", .x = "mass", .c = "wing", .traits = {"wing"}};
  EXPECT_EQ(fault_of("y,mass,wing\n1,2,3\n", choice), "the trait column 'wing' is chosen twice");
  choice.c = "site";
  choice.n = "n";
  const Cases cases = imported("y,mass,wing,site,n\n1,2,3,1,4\n0,2.5,NA,2,1\n1,3,3.5,2,2\n", choice);
  EXPECT_EQ(cases.left_out_lines, (std::vector<int>{3}));
  EXPECT_EQ(cases.trait_names, (std::vector<std::string>{"mass", "wing"}));
  const auto read = parse_traits_table(traits_table_text(cases), cases.trait_names, true);
  ASSERT_TRUE(std::holds_alternative<TraitsTable>(read)) << std::get<std::string>(read);
  const TraitsTable& t = std::get<TraitsTable>(read);
  EXPECT_EQ(t.y, cases.y);
  EXPECT_EQ(t.n, cases.n);
  EXPECT_EQ(t.traits, (std::vector<std::vector<double>>{cases.x, cases.traits[0]}));
  EXPECT_EQ(t.covariate, cases.c);
  Cases named_y = cases;
  named_y.c_name = "y";
  EXPECT_TRUE(traits_table_text(named_y).starts_with("y,n,mass,wing,covariate\n"));
}

}  // namespace
}  // namespace trov::import
