#include "common/options_file.h"

#include <gtest/gtest.h>

#include "common/utf8.h"

namespace trov {
namespace {

TEST(options_file_test, reads_every_key_with_comments_quotes_and_any_line_end) {
  Options o;
  const auto fault = parse_options(
      "\xEF\xBB\xBF# settings beyond trov.in\r\n"
      "criterion = ML   # by marginal likelihood\n"
      "\n"
      "  bootstrap_lambda=fixed\r"
      "bootstrap_type = Cases\n"
      "figure_size = slide\n"
      "figure_font_pt = 9.5\n"
      "figure_gradients = Yes\n"
      "x_label = Body mass (g)\n"
      "y_label = \"Survival # \"to\" autumn\"  # a quoted label keeps # and quotes\n"
      "import_table = \"field 2024.csv\"\nimport_data = plants.dat\nimport_left_out = 12\n"
      "import_left_out_lines = 3 17  40\n",
      o);
  ASSERT_FALSE(fault) << fault->reason;
  EXPECT_EQ(o.criterion, Criterion::ml);
  EXPECT_EQ(o.bootstrap_lambda, BootstrapLambda::fixed);
  EXPECT_EQ(o.bootstrap_type, BootstrapType::cases);
  EXPECT_EQ(o.figure_size, FigureSize::slide);
  EXPECT_EQ(o.figure_font_pt, 9.5);
  EXPECT_TRUE(o.figure_gradients);
  EXPECT_EQ(o.x_label, "Body mass (g)");
  EXPECT_EQ(o.y_label, "Survival # \"to\" autumn");
  EXPECT_EQ(o.import, (Options::Import{"field 2024.csv", "plants.dat", 12, {3, 17, 40}, {}}));
  // what the front end writes reads back to the same options, and defaults need no file
  Options back;
  EXPECT_FALSE(parse_options(options_text(o), back));
  EXPECT_EQ(back, o);
  EXPECT_EQ(options_text(Options{}), "");

  // the levels of an import, quotes within them doubled; the import's facts go with its data file
  ASSERT_FALSE(parse_options("import_data = d.dat\nimport_levels = \"a \"\"b\"\"\"  \"# c\"\n", o));
  EXPECT_EQ(o.import.levels, (std::vector<std::string>{"a \"b\"", "# c"}));
  EXPECT_FALSE(parse_options(options_text(o), back));
  EXPECT_EQ(back, o);
  Options without_data;
  ASSERT_FALSE(parse_options("import_left_out = 3\nimport_levels = \"a\"\n", without_data));
  EXPECT_EQ(without_data.import, Options::Import{});

  // several traits: their table, their names in order and the surface, written back as read
  ASSERT_FALSE(
      parse_options("traits_file = \"plants traits.csv\"\ntraits = \"mass\" \"wing length\"\n"
                    "surface = yes\n",
                    o));
  EXPECT_EQ(o.traits, (Options::Traits{"plants traits.csv", {"mass", "wing length"}, true}));
  EXPECT_FALSE(parse_options(options_text(o), back));
  EXPECT_EQ(back, o);
  // a file name as long as any is written back on a line that reads again
  Options named;
  ASSERT_FALSE(parse_options(std::string("import_data=").append(900, 'd').append("\n"), named));
  EXPECT_FALSE(parse_options(options_text(named), back));
}

TEST(options_file_test, a_fault_names_its_line_and_what_is_wrong) {
  struct Case {
    std::string text;
    int line;
    const char* reason;
  } cases[] = {
      {"criterion = reml\ncolour = red\n", 2, "unknown key 'colour'"},
      {"criterion = aic\n", 1, "'aic' is not one of reml, ml, gcv, ubre or ocv"},
      {"bootstrap_type = pairs\n", 1, "'pairs' is not one of parametric or cases"},
      {"# a comment\ncriterion\n", 2, "no '=': write each setting as key = value"},
      {"criterion =   # nothing\n", 1, "no value after '='"},
      {"figure_font_pt = 6\n", 1, "'6' is not a size from 7 to 24 (points)"},
      {"figure_font_pt = 8pt\n", 1, "'8pt' is not a size from 7 to 24 (points)"},
      {"criterion = gcv\ncriterion = ocv\n", 2, "criterion is given twice (line 1 too)"},
      {"x_label = \"open\n", 1, "the value's closing '\"' is missing"},
      {"x_label = \"a\" b\n", 1, "text after the value's closing '\"'"},
      {"x_label = donn\xE9"
       "es\n",
       1, "a label must be UTF-8 text without control characters"},
      {"import_left_out = -1\n", 1, "'-1' is not a count of cases"},
      {"import_left_out_lines = 3, 4\n", 1, "'3, 4' is not a list of line numbers"},
      {"import_levels = field forest\n", 1, "the levels must stand in double quotes"},
      {"import_levels = \"a\"b\"\n", 1, "a quote within a level must be doubled"},
      {"import_levels = \"a\" \"\"\n", 1, "a level must be UTF-8 text without control characters, not empty"},
      {"import_levels = \"1\" \"2\" \"3\" \"4\" \"5\" \"6\" \"7\" \"8\" \"9\" \"10\" \"11\" \"12\" \"13\" "
       "\"14\" \"15\" "
       "\"16\" \"17\" \"18\" \"19\" \"20\" \"21\"\n",
       1, "at most 20 levels"},
      {std::string("import_data = ").append(901, 'd').append("\n"), 1,
       "a file name may hold at most 900 bytes"},
      {"traits_file = t.csv\ntraits = \"a\"\n", 2, "give two or more traits"},
      {"traits_file = t.csv\ntraits = \"a\" \"b\" \"a\"\n", 2, "the trait 'a' is given twice"},
      {"traits_file = t.csv\ntraits = \"a,b\" \"c\"\n", 2, "the trait 'a,b' holds a comma or a quote"},
      {"traits_file = t.csv\ntraits = \"y\" \"c\"\n", 2, "a trait may not be named y or n"},
      {"traits_file = t.csv\n", 1, "traits_file needs traits, the names of its trait columns"},
      {"# x\ntraits = \"a\" \"b\"\n", 2, "traits needs traits_file, the table that holds them"},
      {"traits_file = t.csv\ntraits = \"a\" \"b\" \"c\"\nsurface = yes\n", 3,
       "surface = yes takes exactly two traits"},
  };
  for (const Case& c : cases) {
    Options o;
    const auto fault = parse_options(c.text, o);
    ASSERT_TRUE(fault) << c.text;
    EXPECT_EQ(fault->line, c.line) << c.text;
    EXPECT_EQ(fault->reason.substr(0, std::string_view(c.reason).size()), c.reason) << fault->reason;
  }
}

TEST(options_file_test, utf8_refuses_malformed_sequences) {
  EXPECT_TRUE(valid_utf8("plain, \xC3\xA9t\xC3\xA9, \xE2\x82\xAC, \xF0\x9F\x90\x9F"));
  for (const char* bad : {"\xE9", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\x80", "\xF8\x88\x80\x80\x80"})
    EXPECT_FALSE(valid_utf8(bad)) << bad;
}

}  // namespace
}  // namespace trov
