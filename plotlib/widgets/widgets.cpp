#include "plotlib/widgets/widgets.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "plotlib/widgets/widget_access.h"
#include "plotlib/widgets/widget_layout.h"
#include "plotlib/widgets/widget_text.h"

namespace plotlib {
namespace {

constexpr std::size_t max_widgets = 200;
constexpr std::size_t label_capacity = 80;
constexpr std::size_t keyword_capacity = 4;
constexpr std::size_t mask_capacity = 80;

// Type codes of the widget table.
enum class Type : std::uint8_t {
  main = 0,
  base = 1,
  label = 2,  // also the label half of a labelled text
  list = 6,
  text = 9,
  labelled_text = 10,  // the edit half of a labelled text
  file = 11,
  ok = 14,
  quit = 15,
  menu_entry = 16,  // an entry of the "File" pop-up, without a place in the window
};

enum class WidgetStatus { active, inactive, invisible };

bool is_parent(Type t) { return t == Type::main || t == Type::base; }
bool is_edit(Type t) { return t == Type::text || t == Type::labelled_text || t == Type::file; }
bool takes_focus(Type t) { return is_edit(t) || t == Type::ok || t == Type::quit; }

// Misuse messages, one table.
enum class Msg {
  bad_value,
  not_allowed_parameter,
  no_wgini_before,
  not_allowed_parent,
  too_many_widgets,
  list_out_of_range,
  swgatt_outside,
  callback_on_parent,
  callback_on_label,
  no_wgini,
  no_wgini_excl,
  not_allowed_id_excl,
  query_bad_id,
  setter_bad_id,
  path_too_long,
};
constexpr std::array<std::string_view, 15> message_text = {
    ">>>> Bad value",
    ">>>> Not allowed parameter",
    ">>>> No call to WGINI before!",
    ">>>> Not allowed parent ID!",
    ">>>> Too many widgets!",
    "<<<< Selected list element out of range",
    ">>>> SWGATT must be used between WGINI and WGFIN",
    ">>>> Callbacks cannot be defined for Parent widgets!",
    ">>>> Callbacks cannot be defined for Label widgets!",
    ">>>> No call to WGINI",
    ">>>> No call to WGINI!",
    ">>>> Not allowed ID!",
    "<<<< Not allowed ID",
    ">>>> Not allowed ID",
    "<<<< File name longer than 132 characters",
};

struct Widget {
  Widget(Type t, int parent_id, std::unique_ptr<ParentLayout> parent_layout = nullptr)
      : type(t), parent(parent_id), layout(std::move(parent_layout)) {}
  Type type;
  int parent;                            // identifier, 0 for the main widget
  std::unique_ptr<ParentLayout> layout;  // parents only
  int selected = 0;                      // lists: 1-based item
  std::vector<std::string> items;        // lists: filled into the list box when it is shown
  std::string text;                      // text store of edit fields
  std::string mask;                      // file fields
  int menu_index = -1;                   // file fields: their "File" menu entry
  std::function<void(int)> callback;
  Fl_Widget* window = nullptr;  // null once the dialog window is gone
};

enum class Phase { none, building, running, finished };

void default_message(std::string_view caption, std::string_view text) {
  const std::string title(caption), body(text);
  fl_message_title(title.c_str());
  const char* close_label = fl_close;
  fl_close = "OK";
  fl_alert("%s", body.c_str());
  fl_close = close_label;
}

std::optional<std::string> default_chooser(std::string_view initial_name, std::string_view mask) {
  const std::string filter = file_filter(mask);
  // The chooser opens in the initial name's folder only when it is given as a full path.
  std::error_code ec;
  const std::filesystem::path initial = std::filesystem::absolute(std::string(trim_right(initial_name)), ec);
  const std::string folder = initial.parent_path().string(), name = initial.filename().string();
  Fl_Native_File_Chooser chooser;
  chooser.type(Fl_Native_File_Chooser::BROWSE_FILE);
  chooser.title("Open");
  chooser.filter(filter.c_str());
  if (!ec) {
    chooser.directory(folder.c_str());
    chooser.preset_file(name.c_str());
  }
  if (chooser.show() != 0 || !chooser.filename()) return std::nullopt;  // cancel or failure
  return std::string(chooser.filename());
}

ScreenMetrics default_metrics() {
  fl_open_display();
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const double width = fl_width(alphabet.data(), static_cast<int>(alphabet.size()));
  return {fl_height(), static_cast<int>(std::lround(width / alphabet.size())), Fl::w()};
}

class DialogWindow;

// The one dialog of the library and its settings.
struct State {
  // settings, kept from one dialog to the next
  int ndchar = 20;
  bool ok_entry = true, quit_entry = true, help_entry = true;
  std::string title;
  FileChooser chooser;
  MessageSink sink;
  MetricsSource metrics_source;
  std::optional<Spacing> spacing;  // from the metrics read when the first dialog starts
  int char_width = 0, screen_width = 0;

  // the current dialog
  Phase phase = Phase::none;
  std::vector<Widget> widgets;  // identifier = position + 1
  std::unique_ptr<DialogWindow> window;
  Fl_Menu_Bar* menu = nullptr;
  int menu_height = 0;
  bool done = false;  // OK
  bool quit = false;  // Quit or the close box
};

State& state() {
  static State s;
  return s;
}

void report(std::string_view routine, Msg m, std::string_view extra = {}) {
  std::string text(message_text[static_cast<std::size_t>(m)]);
  if (!extra.empty()) text.append(" ").append(extra);
  State& s = state();
  if (s.sink)
    s.sink(routine, text);
  else
    default_message(routine, text);
}

bool valid_id(int id) { return id >= 1 && id <= static_cast<int>(state().widgets.size()); }
Widget& at(int id) { return state().widgets[static_cast<std::size_t>(id - 1)]; }

std::optional<Arrangement> arrangement_of(std::string_view keyword) {
  if (keyword_is(keyword, "VERT")) return Arrangement::vert;
  if (keyword_is(keyword, "HORI")) return Arrangement::hori;
  if (keyword_is(keyword, "FORM")) return Arrangement::form;
  return std::nullopt;
}

// Current text of an edit field: while the dialog runs it is read from the window (and stored).
const std::string& current_text(Widget& w) {
  if (state().phase == Phase::running && w.window)
    w.text = cut(static_cast<Fl_Input*>(w.window)->value(), text_capacity);
  return w.text;
}

void notify(int id) {
  // Copy first: the callback may replace the widget table's callbacks.
  const auto callback = at(id).callback;
  if (callback) callback(id);
}

void move_focus(int step);

class DialogWindow : public Fl_Double_Window {
 public:
  using Fl_Double_Window::Fl_Double_Window;
  int handle(int event) override {
    if (event == FL_KEYBOARD) {
      if (Fl::event_key() != FL_Tab) return 0;  // no arrow-key hopping between widgets
      move_focus(Fl::event_state(FL_SHIFT) ? -1 : 1);
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }
};

// A list that also reports focus changes and double clicks.
class ListBox : public Fl_Hold_Browser {
 public:
  ListBox(Rect r, int id) : Fl_Hold_Browser(r.x, r.y, r.w, r.h), id_(id) {}
  int handle(int event) override {
    const int used = Fl_Hold_Browser::handle(event);
    if ((event == FL_FOCUS && used) || event == FL_UNFOCUS || (event == FL_PUSH && Fl::event_clicks() > 0))
      notify(id_);
    return used;
  }

 private:
  int id_;
};

bool is_return(int key) { return key == FL_Enter || key == FL_KP_Enter; }

// A push button that Return presses while it has the focus.
class PushButton : public Fl_Button {
 public:
  PushButton(Rect r, const char* text) : Fl_Button(r.x, r.y, r.w, r.h, text) {}
  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::focus() == this && is_return(Fl::event_key())) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

bool press_ok();

// A one-line edit field in which Return presses the dialog's OK button, as in a desktop form.
class EditField : public Fl_Input {
 public:
  explicit EditField(Rect r) : Fl_Input(r.x, r.y, r.w, r.h) {}
  int handle(int event) override {
    if (event == FL_KEYBOARD && is_return(Fl::event_key()) && press_ok()) return 1;
    return Fl_Input::handle(event);
  }
};

bool can_focus(const Widget& w) {
  return takes_focus(w.type) && w.window && w.window->active() && w.window->visible();
}

// Tab and Shift+Tab: the next (previous) widget that takes the focus, in creation order, wrapping.
void move_focus(int step) {
  auto& widgets = state().widgets;
  const int n = static_cast<int>(widgets.size());
  int from = step > 0 ? -1 : n;  // from elsewhere (a list): start at the first or the last
  for (int i = 0; i < n; ++i)
    if (widgets[i].window && widgets[i].window == Fl::focus() && takes_focus(widgets[i].type)) from = i;
  for (int k = 1; k <= n; ++k) {
    const int i = ((from + step * k) % n + n) % n;
    if (can_focus(widgets[i])) {
      widgets[i].window->take_focus();
      return;
    }
  }
}

int id_of(void* data) { return static_cast<int>(reinterpret_cast<std::intptr_t>(data)); }
void* data_of(int id) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(id)); }

void on_list(Fl_Widget* w, void* data) {
  auto* list = static_cast<Fl_Hold_Browser*>(w);
  Widget& entry = at(id_of(data));
  if (list->value() == 0)
    list->select(entry.selected);  // a click below the items keeps the selection
  else
    entry.selected = list->value();
  notify(id_of(data));
}

void on_edit(Fl_Widget*, void* data) { notify(id_of(data)); }

void on_ok(Fl_Widget*, void* data) {
  if (data) notify(id_of(data));
  State& s = state();
  for (Widget& w : s.widgets)
    if (is_edit(w.type) && w.window) w.text = cut(static_cast<Fl_Input*>(w.window)->value(), text_capacity);
  s.done = true;
  s.window->hide();
}

// The dialog ends with Quit: wgfin returns it to the caller, which decides what follows.
void on_quit(Fl_Widget*, void* data) {
  if (data) notify(id_of(data));
  State& s = state();
  s.quit = true;
  s.window->hide();
}

// The close box means "leave", as Quit does. Escape, which FLTK also routes here, is ignored: a stray
// key must not end the program.
void on_close(Fl_Widget*, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  on_quit(nullptr, nullptr);
}

// The first active OK button, pressed; false when the dialog has none.
bool press_ok() {
  for (Widget& w : state().widgets)
    if (w.type == Type::ok && w.window && w.window->active() && w.window->visible()) {
      w.window->do_callback();
      return true;
    }
  return false;
}

void on_help(Fl_Widget*, void*) {
  fl_message_title("Help");
  fl_message("No help is available for this dialog.");
}

void on_menu_entry(Fl_Widget*, void* data) { notify(id_of(data)); }

void on_file_entry(Fl_Widget*, void* data) {
  State& s = state();
  const int id = id_of(data);
  Widget& w = at(id);
  const std::string initial = current_text(w);
  const std::optional<std::string> picked =
      s.chooser ? s.chooser(initial, w.mask) : default_chooser(initial, w.mask);
  if (!picked) return;
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(*picked, ec);
  const std::string path = ec ? *picked : full.string();
  if (path.size() > text_capacity) {
    report("WGFIL", Msg::path_too_long);  // a cut path would name another file
    return;
  }
  w.text = path;
  if (w.window) static_cast<Fl_Input*>(w.window)->value(path.c_str());
}

// Every FLTK label needs storage that outlives the call; copy_label owns it.
void set_label(Fl_Widget* w, std::string_view text) { w->copy_label(literal_label(text).c_str()); }

// Menu entry texts: '/' and '\' would make submenus and escapes.
std::string menu_path(std::string_view menu, std::string_view entry) {
  std::string path(menu);
  path += '/';
  for (char c : entry) {
    if (c == '/' || c == '\\') path += '\\';
    path += c;
  }
  return path;
}

void build_menu(State& s) {
  s.menu = new Fl_Menu_Bar(0, 0, 1, s.menu_height);
  s.window->add(s.menu);
  if (s.ok_entry) s.menu->add("&Exit/&OK", 0, on_ok, nullptr);
  if (s.quit_entry) s.menu->add("&Exit/&Quit", 0, on_quit, nullptr);
  if (s.help_entry) s.menu->add("&Help", 0, on_help, nullptr);
}

void apply_status(Widget& w, WidgetStatus status) {
  if ((w.type == Type::file || w.type == Type::menu_entry) && w.menu_index >= 0 && state().menu) {
    State& s = state();
    const int flags = s.menu->mode(w.menu_index);
    s.menu->mode(w.menu_index,
                 status == WidgetStatus::active ? flags & ~FL_MENU_INACTIVE : flags | FL_MENU_INACTIVE);
  }
  if (!w.window) return;
  if (status == WidgetStatus::invisible) {
    w.window->hide();
    return;
  }
  w.window->show();
  if (status == WidgetStatus::active)
    w.window->activate();
  else
    w.window->deactivate();
}

bool inside(int id, int ancestor) {
  for (int p = at(id).parent; p != 0; p = at(p).parent)
    if (p == ancestor) return true;
  return false;
}

// Checks shared by the creation routines; returns false after reporting.
bool may_create(std::string_view routine, int parent, std::size_t slots) {
  State& s = state();
  if (s.phase != Phase::building) {
    report(routine, Msg::no_wgini_before);
    return false;
  }
  if (!valid_id(parent) || !is_parent(at(parent).type)) {
    report(routine, Msg::not_allowed_parent);
    return false;
  }
  if (s.widgets.size() + slots > max_widgets) {
    report(routine, Msg::too_many_widgets);
    return false;
  }
  return true;
}

// Asks the parent for a place and accounts for it in the parent and every ancestor.
Rect take_place(int parent, int height) {
  State& s = state();
  const Rect r = at(parent).layout->place(height, base_width(s.ndchar, s.char_width, s.screen_width));
  for (int p = parent; p != 0; p = at(p).parent) at(p).layout->enclose(r, *s.spacing);
  return r;
}

int add(Widget w, Fl_Widget* fl) {
  State& s = state();
  w.window = fl;
  if (fl) s.window->add(fl);
  s.widgets.push_back(std::move(w));
  return static_cast<int>(s.widgets.size());
}

Fl_Input* make_input(Rect r, const std::string& text, int id) {
  auto* input = new EditField(r);
  input->value(text.c_str());
  input->callback(on_edit, data_of(id));
  input->when(FL_WHEN_CHANGED);
  return input;
}

}  // namespace

std::string file_filter(std::string_view mask) {
  const std::string m(trim_right(mask));
  return "Mask\t" + m + "\nAll Files\t*";  // shown as "Mask (*.dat)" and "All Files (*)"
}

void set_file_chooser(FileChooser chooser) { state().chooser = std::move(chooser); }
void set_message_sink(MessageSink sink) { state().sink = std::move(sink); }
void set_metrics_source(MetricsSource source) { state().metrics_source = std::move(source); }

Fl_Widget* widget_of(int id) {
  if (!valid_id(id)) return nullptr;
  return id == 1 ? state().window.get() : at(id).window;
}

void swgtit(std::string_view title) { state().title = cut(title, text_capacity); }

void swgwth(int n) {
  if (n == 0 || n < -100) {
    report("SWGWTH", Msg::bad_value);
    return;
  }
  state().ndchar = n;
}

void swgpop(std::string_view keyword) {
  State& s = state();
  const std::string key = cut(keyword, keyword_capacity);
  if (keyword_is(key, "NOOK") || keyword_is(key, "OK"))
    s.ok_entry = keyword_is(key, "OK");
  else if (keyword_is(key, "NOQU") || keyword_is(key, "QUIT"))
    s.quit_entry = keyword_is(key, "QUIT");
  else if (keyword_is(key, "NOHE") || keyword_is(key, "HELP"))
    s.help_entry = keyword_is(key, "HELP");
  else
    report("SWGPOP", Msg::not_allowed_parameter, key);
}

int wgini(std::string_view arrangement) {
  State& s = state();
  const std::optional<Arrangement> arr = arrangement_of(arrangement);
  if (!arr) {
    report("WGINI", Msg::not_allowed_parameter, cut(arrangement, keyword_capacity));
    return -1;
  }
  if (!s.spacing) {
    const ScreenMetrics m = s.metrics_source ? s.metrics_source() : default_metrics();
    s.spacing = spacing_from(m.line_height, m.char_width);
    s.char_width = m.char_width;
    s.screen_width = m.screen_width;
    s.menu_height = m.line_height + 8;  // one line of menu text and FLTK's padding around it
  }
  s.window.reset();   // a dialog built but never shown; its widgets may still call back while they go
  s.widgets.clear();  // frees the previous dialog's stores
  s.widgets.reserve(max_widgets);
  s.window = std::make_unique<DialogWindow>(1, 1);
  s.window->end();
  s.window->resizable(nullptr);  // children keep their places when the window is sized
  s.window->xclass("MainWidget");
  s.window->callback(on_close);
  build_menu(s);

  // The first insertion point: half a horizontal gap in, one vertical gap down from the client area.
  const Spacing& sp = *s.spacing;
  const Rect area{sp.hspace / 2, s.menu_height + sp.vspace,
                  base_width(s.ndchar, s.char_width, s.screen_width), 0};
  Widget main{Type::main, 0, std::make_unique<ParentLayout>(*arr, area)};
  s.widgets.push_back(std::move(main));
  s.phase = Phase::building;
  s.done = false;
  s.quit = false;
  return 1;
}

int wgbas(int parent, std::string_view arrangement) {
  if (!may_create("WGBAS", parent, 1)) return -1;
  const std::optional<Arrangement> arr = arrangement_of(arrangement);
  if (!arr) {
    report("WGBAS", Msg::not_allowed_parameter, cut(arrangement, keyword_capacity));
    return -1;
  }
  const Rect r = take_place(parent, 0);
  return add(Widget{Type::base, parent, std::make_unique<ParentLayout>(*arr, r)}, nullptr);
}

int wglab(int parent, std::string_view text) {
  if (!may_create("WGLAB", parent, 1)) return -1;
  const Rect r = take_place(parent, label_height(*state().spacing));
  auto* box = new Fl_Box(r.x, r.y, r.w, r.h);
  box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  set_label(box, cut(text, label_capacity));
  return add(Widget{Type::label, parent}, box);
}

int wglis(int parent, std::string_view list_text, int selected) {
  if (!may_create("WGLIS", parent, 1)) return -1;
  std::vector<std::string> items = split_items(cut(list_text, text_capacity));
  if (selected < 1 || selected > static_cast<int>(items.size())) {
    report("WGLIS", Msg::list_out_of_range);
    selected = 1;
  }
  const int id = static_cast<int>(state().widgets.size()) + 1;
  const Rect r = take_place(parent, list_height(*state().spacing, static_cast<int>(items.size())));
  auto* list = new ListBox(r, id);
  list->format_char(0);  // items are shown as written, '@' included
  list->callback(on_list, data_of(id));
  list->when(FL_WHEN_CHANGED);
  Widget w{Type::list, parent};
  w.selected = selected;
  w.items = std::move(items);
  return add(std::move(w), list);
}

int wgtxt(int parent, std::string_view text) {
  if (!may_create("WGTXT", parent, 1)) return -1;
  const int id = static_cast<int>(state().widgets.size()) + 1;
  const Rect r = take_place(parent, field_height(*state().spacing));
  Widget w{Type::text, parent};
  w.text = cut(text, text_capacity);
  Fl_Input* input = make_input(r, w.text, id);
  return add(std::move(w), input);
}

int wgltxt(int parent, std::string_view label, std::string_view text, int percent) {
  if (!may_create("WGLTXT", parent, 2)) return -1;
  const int label_id = static_cast<int>(state().widgets.size()) + 1;
  const auto [label_rect, field_rect] =
      split_labelled(take_place(parent, field_height(*state().spacing)), percent);
  auto* box = new Fl_Box(label_rect.x, label_rect.y, label_rect.w, label_rect.h);
  box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  set_label(box, cut(label, label_capacity));
  add(Widget{Type::label, parent}, box);
  Widget w{Type::labelled_text, parent};
  w.text = cut(text, text_capacity);
  Fl_Input* input = make_input(field_rect, w.text, label_id + 1);
  return add(std::move(w), input);
}

int wgfil(int parent, std::string_view menu_entry, std::string_view file_name, std::string_view mask) {
  if (!may_create("WGFIL", parent, 1)) return -1;
  State& s = state();
  const int id = static_cast<int>(s.widgets.size()) + 1;
  const Rect r = take_place(parent, field_height(*s.spacing));
  Widget w{Type::file, parent};
  w.text = cut(file_name, text_capacity);
  w.mask = std::string(trim_right(cut(mask, mask_capacity)));
  // The "File" pop-up is the last on the bar, so entries are appended and earlier indices stay valid.
  w.menu_index =
      s.menu->add(menu_path("File", cut(menu_entry, label_capacity)).c_str(), 0, on_file_entry, data_of(id));
  Fl_Input* input = make_input(r, w.text, id);
  return add(std::move(w), input);
}

int wgmenu(int parent, std::string_view menu_entry, int shortcut) {
  if (!may_create("WGMENU", parent, 1)) return -1;
  State& s = state();
  const int id = static_cast<int>(s.widgets.size()) + 1;
  Widget w{Type::menu_entry, parent};
  w.menu_index = s.menu->add(menu_path("File", cut(menu_entry, label_capacity)).c_str(), shortcut,
                             on_menu_entry, data_of(id));
  return add(std::move(w), nullptr);
}

namespace {
int add_button(std::string_view routine, int parent, Type type, const char* text, Fl_Callback* action) {
  if (!may_create(routine, parent, 1)) return -1;
  const int id = static_cast<int>(state().widgets.size()) + 1;
  auto* button = new PushButton(take_place(parent, field_height(*state().spacing)), text);
  button->callback(action, data_of(id));
  return add(Widget{type, parent}, button);
}
}  // namespace

int wgok(int parent) { return add_button("WGOK", parent, Type::ok, "OK", on_ok); }
int wgquit(int parent) { return add_button("WGQUIT", parent, Type::quit, "Quit", on_quit); }

void swgatt(int id, std::string_view value, std::string_view option) {
  State& s = state();
  if (s.phase != Phase::building && s.phase != Phase::running) {
    report("SWGATT", Msg::swgatt_outside);
    return;
  }
  if (!valid_id(id)) {
    report("SWGATT", Msg::setter_bad_id);
    return;
  }
  if (!keyword_is(option, "STAT")) {
    report("SWGATT", Msg::not_allowed_parameter, cut(option, keyword_capacity));
    return;
  }
  WidgetStatus status;
  if (keyword_is(value, "ACTI"))
    status = WidgetStatus::active;
  else if (keyword_is(value, "INAC"))
    status = WidgetStatus::inactive;
  else if (keyword_is(value, "INVI"))
    status = WidgetStatus::invisible;
  else {
    report("SWGATT", Msg::not_allowed_parameter, cut(value, keyword_capacity));
    return;
  }
  const Type type = at(id).type;
  if (is_parent(type)) {  // a container passes the status on to everything inside it
    for (int i = id + 1; i <= static_cast<int>(s.widgets.size()); ++i)
      if (inside(i, id)) apply_status(at(i), status);
    return;
  }
  apply_status(at(id), status);
  if (type == Type::labelled_text) apply_status(at(id - 1), status);
}

void swgtxt(int id, std::string_view text) {
  if (!valid_id(id) || !is_edit(at(id).type)) {
    report("SWGTXT", Msg::setter_bad_id);
    return;
  }
  Widget& w = at(id);
  w.text = cut(text, text_capacity);
  if (w.window) static_cast<Fl_Input*>(w.window)->value(w.text.c_str());
}

void swglis(int id, int selected) {
  if (!valid_id(id) || at(id).type != Type::list) {
    report("SWGLIS", Msg::setter_bad_id);
    return;
  }
  Widget& w = at(id);
  if (selected < 1 || selected > static_cast<int>(w.items.size())) {
    report("SWGLIS", Msg::list_out_of_range);
    return;
  }
  w.selected = selected;
  if (w.window) static_cast<Fl_Hold_Browser*>(w.window)->select(selected);
  notify(id);
}

void swgcbk(int id, std::function<void(int id)> callback) {
  State& s = state();
  if (s.phase != Phase::building && s.phase != Phase::running) {
    report("SWGCBK", Msg::no_wgini_excl);
    return;
  }
  if (!valid_id(id)) {
    report("SWGCBK", Msg::not_allowed_id_excl);
    return;
  }
  const Type type = at(id).type;
  if (is_parent(type)) {
    report("SWGCBK", Msg::callback_on_parent);
    return;
  }
  if (type == Type::label) {
    report("SWGCBK", Msg::callback_on_label);
    return;
  }
  at(id).callback = std::move(callback);
}

DialogEnd wgfin() {
  State& s = state();
  if (s.phase != Phase::building) {
    report("WGFIN", Msg::no_wgini);
    return DialogEnd::ok;
  }
  // Enclose every widget with the margins it has on the left and at the top.
  const ParentLayout& main = *at(1).layout;
  const Spacing& sp = *s.spacing;
  const int w = main.right + sp.hspace / 2, h = main.bottom + sp.vspace;
  s.window->size(w, h);
  s.window->size_range(w, h, w, h);
  s.menu->size(w, s.menu_height);
  s.window->copy_label(s.title.c_str());
  s.window->position(Fl::x(), Fl::y());  // top left corner of the screen
  // List items are measured in the font, which needs the display: fill them in only now.
  for (Widget& widget : s.widgets)
    if (widget.type == Type::list) {
      auto* list = static_cast<Fl_Hold_Browser*>(widget.window);
      for (const std::string& item : widget.items) list->add(item.c_str());
      list->select(widget.selected);
      // Selecting scrolls the item into view as if a horizontal scroll bar were there; all items fit.
      if (!has_scroll_bar(static_cast<int>(widget.items.size()))) list->position(0);
    }
  s.phase = Phase::running;
  s.window->show();
  for (Widget& widget : s.widgets)
    if (can_focus(widget)) {
      widget.window->take_focus();
      break;
    }
  while (!s.done && !s.quit && s.window->shown()) Fl::wait();
  s.window.reset();  // the window and its widgets; the table keeps the values
  s.menu = nullptr;
  for (Widget& widget : s.widgets) widget.window = nullptr;
  s.phase = Phase::finished;
  return s.quit ? DialogEnd::quit : DialogEnd::ok;
}

namespace {
// Shared by the queries: the widget if the identifier names one of the given types, else a report.
Widget* query(std::string_view routine, int id, std::initializer_list<Type> types) {
  if (valid_id(id))
    for (Type t : types)
      if (at(id).type == t) return &at(id);
  report(routine, Msg::query_bad_id);
  return nullptr;
}
}  // namespace

int gwglis(int id) {
  const Widget* w = query("GWGLIS", id, {Type::list});
  return w ? w->selected : -1;
}

std::string gwgtxt(int id) {
  Widget* w = query("GWGTXT", id, {Type::text, Type::labelled_text});
  return w ? current_text(*w) : std::string();
}

std::string gwgfil(int id) {
  Widget* w = query("GWGFIL", id, {Type::file});
  return w ? current_text(*w) : std::string();
}

}  // namespace plotlib
