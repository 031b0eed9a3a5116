#include "frontend/import_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>

#include <filesystem>
#include <memory>

#include "common/console.h"
#include "common/written_files.h"
#include "frontend/message_box.h"
#include "frontend/run_files.h"
#include "import/import_file.h"

namespace fs = std::filesystem;

namespace trov::front {

namespace {

constexpr const char* kNone = "(none)";
constexpr int kPreviewRows = 8;

// The window's widgets and what it has read.
struct ImportWindow {
  Fl_Double_Window window{640, 530, "Import table"};
  Fl_Input table_name{120, 10, 400, 25, "Table file:"};
  Fl_Button browse{530, 10, 100, 25, "Browse..."};
  Fl_Box about{10, 40, 620, 20};
  Fl_Browser preview{10, 65, 620, 170};
  Fl_Input_Choice y{120, 245, 200, 25, "Y (response):"};
  Fl_Input_Choice x{120, 275, 200, 25, "X (trait):"};
  Fl_Input_Choice c{120, 305, 200, 25, "C (covariate):"};
  Fl_Check_Button categorical{330, 305, 120, 25, "categorical"};
  Fl_Input_Choice n{120, 335, 200, 25, "N (count):"};
  Fl_Input one{460, 245, 170, 25, "Word taken as 1:"};
  // the traits beside X, in the table's order, for the analysis of several traits
  Fl_Check_Browser traits{460, 275, 170, 85, "Further traits:"};
  Fl_Check_Button surface{330, 365, 300, 25, "fit a surface of the two traits"};
  Fl_Input data_name{120, 400, 510, 25, "Data file:"};
  Fl_Box status{10, 430, 620, 55};
  Fl_Button cancel{390, 495, 110, 28, "Cancel"};
  Fl_Return_Button import{520, 495, 110, 28, "Import"};

  import::Table table;
  std::string read_name;  // the table read, as typed
  std::optional<ImportedTable> result;
  Options* options = nullptr;
  bool done = false;

  void say(const std::string& text, bool fault) {
    status.copy_label(text.c_str());
    status.labelcolor(fault ? FL_RED : FL_FOREGROUND_COLOR);
    window.redraw();
  }
};

std::string chosen(const Fl_Input_Choice& choice) {
  const std::string value = choice.value();
  return value == kNone ? std::string() : value;
}

// The covariate chosen: the box "categorical" is offered, and preset on for a column of words or of a
// few distinct whole numbers.
void covariate_chosen(ImportWindow& w) {
  std::size_t column = 0;
  const bool found = !chosen(w.c).empty() && !import::find_column(w.table, chosen(w.c), column);
  found ? w.categorical.activate() : w.categorical.deactivate();
  w.categorical.value(found && import::looks_categorical(w.table, column));
}

// The further traits ticked, in the table's order: a surface is offered for exactly one (two traits).
std::vector<std::string> traits_chosen(ImportWindow& w) {
  std::vector<std::string> names;
  for (int item = 1; item <= w.traits.nitems(); ++item)
    if (w.traits.checked(item)) names.push_back(w.traits.text(item));
  names.size() == 1 ? w.surface.activate() : w.surface.deactivate();
  if (names.size() != 1) w.surface.value(0);
  return names;
}

std::string cell_text(const std::string& text) {
  return text.size() > 18 ? text.substr(0, 17).append("~") : text;
}

void read(ImportWindow& w) {
  w.read_name = w.table_name.value();
  w.preview.clear();
  w.about.copy_label("");
  for (Fl_Input_Choice* choice : {&w.y, &w.x, &w.c, &w.n}) {
    choice->clear();
    choice->value("");
  }
  w.traits.clear();
  traits_chosen(w);
  if (auto why = import::read_table_file(w.read_name, w.table)) {
    w.table = {};
    w.say(*why, true);
    return;
  }
  const import::Table& t = w.table;
  const char* separator = t.separator == ','    ? "commas"
                          : t.separator == ';'  ? "semicolons"
                          : t.separator == '\t' ? "tabs"
                                                : "blanks";
  w.about.copy_label((std::to_string(t.names.size()) + " columns, " + std::to_string(t.rows.size()) +
                      " rows, separated by " + separator +
                      (t.header ? ", with a header row" : ", no header row") +
                      (t.encoding == "UTF-8" ? "" : ", " + t.encoding + " text"))
                         .c_str());
  auto line_of = [](const std::vector<std::string>& cells) {
    std::string line;
    for (const std::string& cell : cells) {
      if (!line.empty()) line += '\t';
      line += cell_text(cell);
    }
    return line;
  };
  w.preview.add(line_of(t.names).c_str());
  for (std::size_t r = 0; r < t.rows.size() && r < kPreviewRows; ++r)
    w.preview.add(line_of(t.rows[r].cells).c_str());
  w.c.add(kNone);
  w.n.add(kNone);
  for (const std::string& name : t.names) {
    std::string item;  // '/', '\', '&' and '_' are menu syntax
    for (char ch : name)
      item += (ch == '/' || ch == '\\' || ch == '&' || ch == '_') ? std::string(1, '\\') + ch
                                                                  : std::string(1, ch);
    for (Fl_Input_Choice* choice : {&w.y, &w.x, &w.c, &w.n}) choice->add(item.c_str());
    w.traits.add(name.c_str());
  }
  w.y.value(t.names[0].c_str());
  w.x.value(t.names.size() > 1 ? t.names[1].c_str() : "");
  w.c.value(kNone);
  w.n.value(kNone);
  covariate_chosen(w);
  w.data_name.value(import::default_data_file(w.read_name).string().c_str());
  w.say("Choose the columns, then Import.", false);
  w.import.take_focus();
}

// Why the import may not write this file (its role: "data file", "traits table"): a run file, the table
// or a file the import writes; nothing when it may.
std::optional<std::string> written_file_fault(const fs::path& file, const std::string& role,
                                              const std::string& table) {
  if (const std::string_view own = run_file_named(file); !own.empty())
    return "The " + role + " may not be " + std::string(own);
  if (auto why = import::data_file_fault(file, table))
    return "The " + role + " may not be " + file.string() + ": " + *why;
  return std::nullopt;
}

void do_import(ImportWindow& w) {
  if (w.read_name != w.table_name.value()) read(w);  // a name typed but not read yet
  if (w.table.rows.empty()) return;
  import::Cases cases;
  const import::Choice choice{
      chosen(w.y),
      chosen(w.x),
      chosen(w.c),
      chosen(w.n),
      w.one.value(),
      w.categorical.value() ? import::CovariateKind::categorical : import::CovariateKind::continuous,
      traits_chosen(w),
      w.surface.value() != 0};
  if (auto why = import::take_cases(w.table, choice, cases)) {
    w.say(*why, true);
    return;
  }
  const std::string data = w.data_name.value();
  if (data.empty()) return w.say("Choose a data file name.", true);
  if (auto why = written_file_fault(data, "data file", w.read_name))
    return w.say(*why + ". Choose another name.", true);
  // several traits: their table beside the data file, named after it
  const bool traits = !cases.trait_names.empty();
  const fs::path traits_table = import::traits_table_file(data);
  if (traits)
    if (auto why = written_file_fault(traits_table, "traits table", w.read_name))
      return w.say(*why + ". Choose another data file name.", true);
  Options noted = *w.options;
  if (auto why = import::note_import(noted, w.read_name, data, cases))
    return w.say(*why + ": choose another data file name.", true);
  std::vector<std::string> theirs;  // the files to be replaced that trovwin did not write
  if (!replaceable(data)) theirs.push_back(data);
  if (traits && !replaceable(traits_table)) theirs.push_back(traits_table.string());
  const bool one = theirs.size() == 1;
  if (!theirs.empty() && !ask(caption::replace,
                              (one ? theirs[0] + " exists, and trovwin did not write it.\n\nReplace it"
                                   : theirs[0] + " and " + theirs[1] +
                                         " exist, and trovwin did not write them.\n\nReplace them") +
                                  " with the imported data?",
                              "No", "&Yes"))
    return;
  if (auto why = import::write_data_file(data, cases)) return w.say(*why, true);
  if (traits)
    if (auto why = import::write_traits_table(traits_table, cases))
      return w.say(*why + " (the data file is written)", true);
  *w.options = noted;
  w.result = ImportedTable{data, cases.has_c, cases.categorical, cases.has_n};
  w.done = true;
  w.window.hide();
  tell(caption::imported, data + ": " + std::to_string(cases.y.size()) + " cases (" +
                              import::columns_text(cases) + ").\n" + import::left_out_text(cases) + "." +
                              (traits ? "\n" + traits_table.string() +
                                            ": the same cases, the table of the analysis of several traits."
                                      : "") +
                              "\n\nThe dialog now names " + data + ".");
}

void browse(ImportWindow& w) {
  Fl_Native_File_Chooser chooser;
  chooser.type(Fl_Native_File_Chooser::BROWSE_FILE);
  chooser.title("Table to import");
  chooser.filter("Tables\t*.{csv,txt,tsv,tab}\nAll Files\t*");
  if (chooser.show() != 0 || !chooser.filename()) return;
  w.table_name.value(chooser.filename());
  read(w);
}

}  // namespace

std::optional<ImportedTable> run_import_window(Options& options) {
  auto w = std::make_unique<ImportWindow>();
  w->window.end();
  w->options = &options;
  w->about.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  w->status.align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  w->preview.format_char(0);  // cells are shown as written, '@' included
  static const int widths[] = {130, 130, 130, 130, 130, 0};
  w->preview.column_widths(widths);
  w->preview.column_char('\t');
  w->table_name.when(FL_WHEN_ENTER_KEY | FL_WHEN_NOT_CHANGED);
  w->table_name.callback([](Fl_Widget*, void* p) { read(*static_cast<ImportWindow*>(p)); }, w.get());
  w->c.callback([](Fl_Widget*, void* p) { covariate_chosen(*static_cast<ImportWindow*>(p)); }, w.get());
  w->traits.align(FL_ALIGN_LEFT_TOP);
  w->traits.when(FL_WHEN_CHANGED);
  w->traits.callback([](Fl_Widget*, void* p) { traits_chosen(*static_cast<ImportWindow*>(p)); }, w.get());
  w->browse.callback([](Fl_Widget*, void* p) { browse(*static_cast<ImportWindow*>(p)); }, w.get());
  w->import.callback([](Fl_Widget*, void* p) { do_import(*static_cast<ImportWindow*>(p)); }, w.get());
  auto cancel = [](Fl_Widget*, void* p) { static_cast<ImportWindow*>(p)->done = true; };
  w->cancel.callback(cancel, w.get());
  w->window.callback(cancel, w.get());  // Escape and the close box
  w->say("Give the table file (CSV, semicolon- or tab-separated text) and press Return, or Browse.", false);
  w->window.set_modal();
  w->window.show();
  w->table_name.take_focus();
  while (!w->done && w->window.shown()) Fl::wait();
  w->window.hide();
  return w->result;
}

}  // namespace trov::front
