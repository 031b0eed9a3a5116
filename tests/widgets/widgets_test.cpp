// The widget table without a display: FLTK widgets are built but never shown.
#include "plotlib/widgets/widgets.h"

#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "plotlib/widgets/widget_access.h"

namespace plotlib {
namespace {

struct Message {
  std::string caption, text;
  bool operator==(const Message&) const = default;
};

class widgets_test : public ::testing::Test {
 protected:
  void SetUp() override {
    set_metrics_source([] { return ScreenMetrics{20, 8, 1000}; });
    set_message_sink([this](std::string_view c, std::string_view t) {
      messages.push_back({std::string(c), std::string(t)});
    });
  }
  void TearDown() override {
    set_message_sink({});
    set_file_chooser({});
  }
  Message last() const { return messages.empty() ? Message{} : messages.back(); }

  std::vector<Message> messages;
};

Fl_Menu_Bar* menu_bar() { return static_cast<Fl_Menu_Bar*>(static_cast<Fl_Window*>(widget_of(1))->child(0)); }

// Must run first in its process (ctest runs each test alone): no dialog has been started yet.
TEST_F(widgets_test, every_routine_refuses_without_a_dialog) {
  EXPECT_EQ(wglab(1, "x"), -1);
  EXPECT_EQ(last(), (Message{"WGLAB", ">>>> No call to WGINI before!"}));
  EXPECT_EQ(wglis(1, "a|b", 1), -1);
  EXPECT_EQ(last(), (Message{"WGLIS", ">>>> No call to WGINI before!"}));
  swgatt(1, "active", "status");
  EXPECT_EQ(last(), (Message{"SWGATT", ">>>> SWGATT must be used between WGINI and WGFIN"}));
  swgcbk(1, [](int) {});
  EXPECT_EQ(last(), (Message{"SWGCBK", ">>>> No call to WGINI!"}));
  EXPECT_EQ(wgfin(), DialogEnd::ok);  // nothing shown: the values stand
  EXPECT_EQ(last(), (Message{"WGFIN", ">>>> No call to WGINI"}));
  EXPECT_EQ(gwglis(1), -1);
  EXPECT_EQ(last(), (Message{"GWGLIS", "<<<< Not allowed ID"}));
  EXPECT_EQ(gwgtxt(1), "");
  EXPECT_EQ(last(), (Message{"GWGTXT", "<<<< Not allowed ID"}));
  EXPECT_EQ(messages.size(), 7u);
}

TEST_F(widgets_test, identifiers_in_creation_order) {
  EXPECT_EQ(wgini("HORI"), 1);
  EXPECT_EQ(wgbas(1, "VERT"), 2);
  EXPECT_EQ(wglab(2, "Model:"), 3);
  EXPECT_EQ(wgltxt(2, "Seed", "2387498", 30), 5);  // the label takes 4
  EXPECT_EQ(wgtxt(2, "trov.out"), 6);
  EXPECT_EQ(gwgtxt(5), "2387498");
  EXPECT_EQ(gwgtxt(6), "trov.out");
  EXPECT_EQ(gwgtxt(4), "");  // the label half has no text
  EXPECT_EQ(last(), (Message{"GWGTXT", "<<<< Not allowed ID"}));
  EXPECT_EQ(gwglis(5), -1);
  EXPECT_TRUE(messages.size() == 2);
  EXPECT_EQ(wgini("vertical"), 1);  // a new dialog starts a new table
  EXPECT_EQ(gwgtxt(5), "");
}

TEST_F(widgets_test, list_out_of_range_selects_first_item) {
  wgini("VERT");
  const int list = wglis(1, "normal|binomial|Poisson", 4);
  EXPECT_EQ(last(), (Message{"WGLIS", "<<<< Selected list element out of range"}));
  EXPECT_EQ(gwglis(list), 1);
  EXPECT_EQ(gwglis(wglis(1, "a|b", 0)), 1);
  EXPECT_EQ(gwglis(wglis(1, "a|b", 2)), 2);
  EXPECT_EQ(messages.size(), 2u);
}

TEST_F(widgets_test, parents_and_capacity_are_checked) {
  wgini("VERT");
  const int label = wglab(1, "x");
  for (int bad : {0, label, 99, -1}) {
    EXPECT_EQ(wgtxt(bad, "t"), -1);
    EXPECT_EQ(last(), (Message{"WGTXT", ">>>> Not allowed parent ID!"}));
  }
  EXPECT_EQ(wgbas(1, "DIAG"), -1);
  EXPECT_EQ(last(), (Message{"WGBAS", ">>>> Not allowed parameter DIAG"}));
  while (static_cast<int>(messages.size()) == 5 && wglab(1, "x") < 199) {
  }
  EXPECT_EQ(wgltxt(1, "a", "b", 20), -1);  // needs two entries, one left
  EXPECT_EQ(last(), (Message{"WGLTXT", ">>>> Too many widgets!"}));
  EXPECT_EQ(wgok(1), 200);
  EXPECT_EQ(wgquit(1), -1);
  EXPECT_EQ(last(), (Message{"WGQUIT", ">>>> Too many widgets!"}));
}

TEST_F(widgets_test, keywords_and_values_are_checked) {
  EXPECT_EQ(wgini("DIAG"), -1);
  EXPECT_EQ(last(), (Message{"WGINI", ">>>> Not allowed parameter DIAG"}));
  wgini("VERT");
  const int field = wgtxt(1, "x");
  swgatt(field, "sleepy", "status");
  EXPECT_EQ(last(), (Message{"SWGATT", ">>>> Not allowed parameter slee"}));
  swgatt(field, "active", "colour");
  EXPECT_EQ(last(), (Message{"SWGATT", ">>>> Not allowed parameter colo"}));
  swgatt(7, "active", "status");
  EXPECT_EQ(last(), (Message{"SWGATT", ">>>> Not allowed ID"}));
  swgpop("NOPE");
  EXPECT_EQ(last(), (Message{"SWGPOP", ">>>> Not allowed parameter NOPE"}));
  swgwth(0);
  EXPECT_EQ(last(), (Message{"SWGWTH", ">>>> Bad value"}));
  swgwth(-101);
  EXPECT_EQ(messages.size(), 7u);
}

TEST_F(widgets_test, callbacks_only_on_widgets_that_are_used) {
  wgini("VERT");
  const int base = wgbas(1, "VERT");
  const int field = wgltxt(base, "Seed", "1", 20);
  swgcbk(base, [](int) {});
  EXPECT_EQ(last(), (Message{"SWGCBK", ">>>> Callbacks cannot be defined for Parent widgets!"}));
  swgcbk(field - 1, [](int) {});
  EXPECT_EQ(last(), (Message{"SWGCBK", ">>>> Callbacks cannot be defined for Label widgets!"}));
  swgcbk(field + 1, [](int) {});
  EXPECT_EQ(last(), (Message{"SWGCBK", ">>>> Not allowed ID!"}));
  int called = 0;
  swgcbk(field, [&](int id) { called = id; });
  widget_of(field)->do_callback();
  EXPECT_EQ(called, field);
  EXPECT_EQ(messages.size(), 3u);
}

TEST_F(widgets_test, two_columns_in_character_units) {
  swgwth(35);
  wgini("HORI");
  const int left = wgbas(1, "VERT"), right = wgbas(1, "VERT");
  const int label = wglab(left, "Program option:");
  const int list = wglis(left, "fixed lambda|range of lambdas", 2);
  const int model = wglis(right, "normal|binomial|Poisson", 2);
  const int fixed = wgltxt(left, "Enter fixed lambda", "-10", 20);
  const int many = wglis(right, "1|2|3|4|5|6|7|8|9", 9);
  const auto geometry = [](int id) {
    const Fl_Widget* w = widget_of(id);
    return std::vector<int>{w->x(), w->y(), w->w(), w->h()};
  };
  // Menu bar 28 px; margins: half a horizontal gap (16) left, a vertical gap (10) on top.
  EXPECT_EQ(geometry(label), (std::vector<int>{16, 38, 280, 20}));
  EXPECT_EQ(geometry(list), (std::vector<int>{16, 68, 280, 60}));
  EXPECT_EQ(geometry(model), (std::vector<int>{16 + 280 + 32, 38, 280, 80}));
  EXPECT_EQ(geometry(fixed - 1), (std::vector<int>{16, 138, 224, 30}));
  EXPECT_EQ(geometry(fixed), (std::vector<int>{16 + 224, 138, 56, 30}));
  EXPECT_EQ(geometry(many), (std::vector<int>{328, 128, 280, 180}));
  swgwth(-50);  // half the screen
  wgini("HORI");
  wgbas(1, "VERT");
  EXPECT_EQ(widget_of(wglab(wgbas(1, "VERT"), "x"))->x(), 16 + 500 + 32);
  swgwth(20);
}

TEST_F(widgets_test, status_reaches_both_halves_and_the_file_entry) {
  wgini("VERT");
  const int field = wgltxt(1, "Random number seed", "2387498", 30);
  const int file = wgfil(1, "Change data file", "demo1.dat", "*.*");
  Fl_Widget* label = widget_of(field - 1);
  const Fl_Menu_Item* entry = menu_bar()->find_item("File/Change data file");
  ASSERT_NE(entry, nullptr);
  swgatt(field, "inactive", "status");
  swgatt(file, "inactive", "status");
  EXPECT_FALSE(label->active());
  EXPECT_FALSE(widget_of(field)->active());
  EXPECT_FALSE(widget_of(file)->active());
  EXPECT_FALSE(entry->active());
  swgatt(field, "invisible", "status");
  EXPECT_FALSE(label->visible());
  EXPECT_FALSE(widget_of(field)->visible());
  swgatt(field, "active", "status");
  swgatt(file, "active", "status");
  EXPECT_TRUE(label->visible() && label->active());
  EXPECT_TRUE(widget_of(field)->visible() && widget_of(field)->active());
  EXPECT_TRUE(entry->active());
  EXPECT_TRUE(messages.empty());
}

TEST_F(widgets_test, texts_are_cut_to_their_stores) {
  wgini("VERT");
  const std::string long_text(140, 'x');
  EXPECT_EQ(gwgtxt(wgtxt(1, long_text)), std::string(132, 'x'));
  EXPECT_EQ(std::string(widget_of(wglab(1, long_text))->label()), std::string(80, 'x'));
  EXPECT_EQ(std::string(widget_of(wglab(1, "a@b"))->label()), "a@@b");  // drawn as "a@b"
}

TEST_F(widgets_test, menu_bar_follows_popup_settings) {
  swgpop("NOHELP");
  swgpop("noquit");
  wgini("VERT");
  EXPECT_GE(menu_bar()->find_index("&Exit/&OK"), 0);
  EXPECT_LT(menu_bar()->find_index("&Exit/&Quit"), 0);
  EXPECT_LT(menu_bar()->find_index("&Help"), 0);
  swgpop("QUIT");
  swgpop("help");
  wgini("VERT");
  EXPECT_GE(menu_bar()->find_index("&Exit/&Quit"), 0);
  EXPECT_GE(menu_bar()->find_index("&Help"), 0);
  wgfil(1, "Pick a/b", "f", "*");
  const Fl_Menu_Item* file_menu = menu_bar()->find_item("File");
  ASSERT_NE(file_menu, nullptr);
  EXPECT_STREQ(file_menu[1].label(), "Pick a/b");  // '/' stays part of the entry
}

TEST_F(widgets_test, picked_file_replaces_the_name_unless_too_long) {
  std::string asked_name, asked_mask;
  std::optional<std::string> answer = "/data/run1.dat";
  set_file_chooser([&](std::string_view name, std::string_view mask) {
    asked_name = name;
    asked_mask = mask;
    return answer;
  });
  wgini("VERT");
  const int file = wgfil(1, "Change data file", "demo1.dat", "*.dat   ");
  const auto pick = [] { menu_bar()->picked(menu_bar()->find_item("File/Change data file")); };
  pick();
  EXPECT_EQ(asked_name, "demo1.dat");
  EXPECT_EQ(asked_mask, "*.dat");
  EXPECT_EQ(gwgfil(file), "/data/run1.dat");
  answer = "/" + std::string(132, 'p');
  pick();
  EXPECT_EQ(last(), (Message{"WGFIL", "<<<< File name longer than 132 characters"}));
  answer.reset();  // cancelled
  pick();
  EXPECT_EQ(gwgfil(file), "/data/run1.dat");
  answer = "run2.dat";
  pick();
  EXPECT_EQ(gwgfil(file), (std::filesystem::current_path() / "run2.dat").string());  // full path
  EXPECT_EQ(gwgtxt(file), "");  // a file field is not a text field
  EXPECT_EQ(file_filter("*.dat"), "Mask\t*.dat\nAll Files\t*");
}

}  // namespace
}  // namespace plotlib
