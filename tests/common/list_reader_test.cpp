#include "common/list_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace trov {
namespace {

using Status = ListReader::Status;

TEST(list_reader_test, values_end_where_they_cannot_continue) {
  std::istringstream in(
      "0.005     stop = convergence\n0.00000001stop\n 21       nstep\n1.0D0 2d1 1.5-3 -2.25e+1\n");
  ListReader r(in, "test");
  float f = 0;
  ASSERT_TRUE(r.read({&f}).ok());
  EXPECT_EQ(f, 0.005f);
  ASSERT_TRUE(r.read({&f}).ok());
  EXPECT_EQ(f, 1e-8f);
  int n = 0;
  ASSERT_TRUE(r.read({&n}).ok());
  EXPECT_EQ(n, 21);
  double a = 0, b = 0, c = 0, d = 0;
  ASSERT_TRUE(r.read({&a, &b, &c, &d}).ok());
  EXPECT_EQ(a, 1.0);
  EXPECT_EQ(b, 20.0);
  EXPECT_EQ(c, 1.5e-3);
  EXPECT_EQ(d, -22.5);
}

TEST(list_reader_test, separators_nulls_slash_and_repeats) {
  std::istringstream in("1.5, 2,3\n1.5,,3\n\n\t 7 /\n2*4 5\n3* 9\n\n8\n9\r\n");
  ListReader r(in, "test");
  double a = -1, b = -1, c = -1;
  ASSERT_TRUE(r.read({&a, &b, &c}).ok());
  EXPECT_EQ(b, 2.0);
  EXPECT_EQ(c, 3.0);
  b = -1;
  ASSERT_TRUE(r.read({&a, &b, &c}).ok());
  EXPECT_EQ(b, -1.0);  // null keeps the value
  a = b = c = -1;
  ASSERT_TRUE(r.read({&a, &b, &c}).ok());  // blank line skipped, slash ends the statement
  EXPECT_EQ(a, 7.0);
  EXPECT_EQ(b, -1.0);
  ASSERT_TRUE(r.read({&a, &b, &c}).ok());
  EXPECT_EQ(a, 4.0);
  EXPECT_EQ(b, 4.0);
  EXPECT_EQ(c, 5.0);
  a = b = c = -1;
  ASSERT_TRUE(r.read({&a, &b, &c, &c}).ok());  // 3 nulls, then 9 from the same line
  EXPECT_EQ(a, -1.0);
  EXPECT_EQ(c, 9.0);
  int k = 0;
  ASSERT_TRUE(r.read({&k}).ok());  // a statement spans the blank line
  EXPECT_EQ(k, 8);
  ASSERT_TRUE(r.read({&k}).ok());  // a carriage return belongs to the line end
  EXPECT_EQ(k, 9);
  EXPECT_EQ(r.read({&k}).status, Status::end_of_file);
}

TEST(list_reader_test, faults_are_named) {
  auto fault_of = [](const char* text, bool integer) {
    std::istringstream in(text);
    ListReader r(in, "test");
    int k = 0;
    double x = 0;
    ListReader::Result result = integer ? r.read({&k}) : r.read({&x});
    return result.status == Status::fault ? result.fault : std::string("none");
  };
  EXPECT_EQ(fault_of("3.0\n", true), "invalid integer");
  EXPECT_EQ(fault_of("1e3\n", true), "invalid integer");
  EXPECT_EQ(fault_of("3\n", false), "none");
  EXPECT_EQ(fault_of("abc\n", false), "invalid number");
  EXPECT_EQ(fault_of("nan\n", false), "invalid number");
  EXPECT_EQ(fault_of("inf\n", false), "invalid number");
  EXPECT_EQ(fault_of("1.5e\n", false), "exponent field");
  EXPECT_EQ(fault_of("1.5E+x\n", false), "exponent field");
  EXPECT_EQ(fault_of("1e999\n", false), "real overflow");
  EXPECT_EQ(fault_of("3000000000\n", true), "integer overflow");
  EXPECT_EQ(fault_of("0*2\n", false), "invalid repeat count");
  EXPECT_EQ(fault_of("4294967297*2\n", false), "invalid repeat count");  // not one copy
  std::istringstream in("1e39\n");
  ListReader r(in, "test");
  float f = 0;
  EXPECT_EQ(r.read({&f}).fault, "real overflow");  // too large for single precision
}

TEST(list_reader_test, incomplete_statement_is_end_of_file) {
  std::istringstream in("1 2\n");
  ListReader r(in, "test");
  double a, b, c;
  EXPECT_EQ(r.read({&a, &b, &c}).status, Status::end_of_file);
  std::istringstream text("name.dat   \nnext");
  ListReader t(text, "test");
  std::string line;
  ASSERT_TRUE(t.read_line(line).ok());
  EXPECT_EQ(line, "name.dat   ");
}

// Spreadsheets write a byte-order mark before "CSV UTF-8"; old Mac files end their lines with a lone CR.
TEST(list_reader_test, byte_order_mark_and_every_line_end) {
  std::istringstream in(
      "\xEF\xBB\xBF"
      "1,x\r2\r\n3\n\r4");
  ListReader r(in, "test");
  int k = 0;
  for (int value : {1, 2, 3, 4}) {
    ASSERT_TRUE(r.read({&k}).ok());
    EXPECT_EQ(k, value);
  }
  EXPECT_EQ(r.line_number(), 5);  // the lone CR after "3\n" ends an empty line
  EXPECT_EQ(r.read({&k}).status, Status::end_of_file);
}

TEST(list_reader_test, a_line_beyond_1_mb_is_unreadable) {
  const std::size_t mb = 1 << 20;
  std::istringstream in(std::string(mb - 1, ' ') + "7\n" + std::string(mb + 1, ' '));
  ListReader r(in, "test");
  int k = 0;
  ASSERT_TRUE(r.read({&k}).ok());
  EXPECT_EQ(k, 7);
  ListReader::Result result = r.read({&k});
  EXPECT_EQ(result.status, Status::unreadable);
  EXPECT_EQ(result.fault, "line longer than 1 MB");
  EXPECT_EQ(r.line_number(), 2);
}

// Random and mutated input never crashes or hangs the reader.
TEST(list_reader_test, survives_random_input) {
  std::mt19937 rng(12345);
  const std::string alphabet = "0123456789+-.,/* \t\neEdDx\r";
  const std::string seed_text = "1.5, 2*3 -4e2 5*\n 0.005 stop\n1.0D0,,/\n";
  for (int trial = 0; trial < 4000; ++trial) {
    std::string text = seed_text;
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      std::size_t at = rng() % (text.size() + 1);
      if (rng() % 2)
        text.insert(at, 1, alphabet[rng() % alphabet.size()]);
      else if (at < text.size())
        text[at] = static_cast<char>(rng() % 256);
    }
    std::istringstream in(text);
    ListReader r(in, "fuzz");
    double a, b;
    int k;
    float f;
    for (int s = 0; s < 6; ++s) {
      if (r.read({&a, &k, &f, &b}).status == Status::end_of_file) break;
    }
  }
  SUCCEED();
}

}  // namespace
}  // namespace trov
