// The table of several traits, as trov40 reads it beside its data file.
#include "engine/io/traits_table.h"

#include <gtest/gtest.h>

namespace trov {
namespace {

const std::vector<std::string> kTraits = {"mass", "wing"};

TEST(traits_table_test, finds_columns_by_name_and_takes_the_one_left_as_the_covariate) {
  const auto read = parse_traits_table(
      "\xEF\xBB\xBF\"wing\", y ,mass,site,n\r\n2.5,1,10,3,1\r\n3.5,0,12,4,2\r\n\r\n", kTraits, true);
  ASSERT_TRUE(std::holds_alternative<TraitsTable>(read)) << std::get<std::string>(read);
  const TraitsTable& t = std::get<TraitsTable>(read);
  EXPECT_EQ(t.traits, (std::vector<std::vector<double>>{{10, 12}, {2.5, 3.5}}));  // in the options' order
  EXPECT_EQ(t.y, (std::vector<double>{1, 0}));
  EXPECT_EQ(t.n, (std::vector<double>{1, 2}));
  EXPECT_EQ(t.covariate_name, "site");
  EXPECT_EQ(t.covariate, (std::vector<double>{3, 4}));
}

TEST(traits_table_test, a_fault_names_the_column_or_the_line) {
  const struct {
    const char* text;
    bool covariate;
    const char* why;
  } cases[] = {
      {"y,n,mass\n1,1,2\n", false, "the header: there is no column 'wing'"},
      {"y,n,mass,wing,mass\n", false, "the header: the column 'mass' is given twice"},
      {"y,n,mass,wing,site\n1,1,2,3,4\n", false,
       "the header: the column 'site' is neither y, n nor a trait (trov.in's run has no covariate)"},
      {"y,n,mass,wing\n1,1,2,3\n", true,
       "the header: there is no covariate column (trov.in's run has a covariate)"},
      {"y,n,mass,wing\n1,1,2,3\n1,1,2\n", false, "line 3 holds 3 values, the header 4"},
      {"y,n,mass,wing\n1,1,2,\n", false, "line 2, column 'wing': '' is not a number"},
      {"y,n,mass,wing\n1,1,2,inf\n", false, "line 2, column 'wing': 'inf' is not a number"},
      {"y,n,mass,wing\n", false, "the table holds no case"},
  };
  for (const auto& c : cases) {
    const auto read = parse_traits_table(c.text, kTraits, c.covariate);
    ASSERT_TRUE(std::holds_alternative<std::string>(read)) << c.text;
    EXPECT_EQ(std::get<std::string>(read), c.why);
  }
}

}  // namespace
}  // namespace trov
