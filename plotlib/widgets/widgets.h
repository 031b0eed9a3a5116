#pragma once
// PLOTLIB widget layer: builds one dialog window from a tree of widgets, runs it until OK or Quit (the
// close box counts as Quit), and hands back what the user entered. Identifiers are 1-based in creation order;
// the main widget is 1. Misuse is reported in a message box captioned with the routine's name; the call then
// does nothing and creation routines return -1.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace plotlib {

// Longest text a text store holds; longer texts are cut.
inline constexpr std::size_t text_capacity = 132;

void swgtit(std::string_view title);  // title of the next dialog window
void swgwth(int n);                   // base width: n > 0 characters, n < 0 percent of the screen width
void swgpop(
    std::string_view keyword);  // "NOOK", "NOQU", "NOHE" drop menu entries; "OK", "QUIT", "HELP" restore

int wgini(std::string_view arrangement);              // "VERT", "HORI" or "FORM"; returns the main widget
int wgbas(int parent, std::string_view arrangement);  // container
int wglab(int parent, std::string_view text);         // one-line static text
int wglis(int parent, std::string_view list_text, int selected);                     // items separated by '|'
int wgtxt(int parent, std::string_view text);                                        // one-line edit field
int wgltxt(int parent, std::string_view label, std::string_view text, int percent);  // label + edit field
// A file field: an edit field plus an entry in the menu bar's "File" pop-up that opens the file chooser
// on the mask and on all files. A picked file's full path replaces the name; a path longer than
// text_capacity is refused with a message box captioned "WGFIL" (cut, it would name another file).
int wgfil(int parent, std::string_view menu_entry, std::string_view file_name, std::string_view mask);
// An entry of the menu bar's "File" pop-up, after those of the file fields; choosing it (or its
// shortcut, an FLTK key code such as FL_CTRL + 't'; 0 for none) calls the callback set with swgcbk.
int wgmenu(int parent, std::string_view menu_entry, int shortcut = 0);
int wgok(int parent);
int wgquit(int parent);

void swgatt(int id, std::string_view value,
            std::string_view option);  // option "STAT": "ACTI", "INAC", "INVI"
void swgcbk(int id, std::function<void(int id)> callback);
void swgtxt(int id, std::string_view text);  // replaces the text of a text, labelled text or file field
void swglis(int id, int selected);           // selects a list item (1-based) and calls the list's callback
// How the user left the dialog: OK (also Return in an edit field, which presses the OK button), or Quit
// (also the close box).
enum class DialogEnd { ok, quit };

// Shows the dialog and waits until the user leaves it, which it returns; Escape is ignored. Misused (no
// dialog being built), it shows nothing and returns `ok`: the values stand as they were given.
DialogEnd wgfin();

int gwglis(int id);          // selected item, 1-based; -1 for a bad identifier
std::string gwgtxt(int id);  // text of a text field or labelled text
std::string gwgfil(int id);  // text of a file field

// Replaceable pieces, so that tests can run the dialog without real choosers and message boxes.
// An empty function object restores the default.

// Asked for a file by a file field's menu entry; returns the picked path, or nothing on cancel.
// Default: FLTK's file chooser filtered by file_filter(mask).
using FileChooser =
    std::function<std::optional<std::string>(std::string_view initial_name, std::string_view mask)>;
void set_file_chooser(FileChooser chooser);

// Receives every misuse message with its caption (the routine's name in capitals).
// Default: an FLTK alert box with an OK button.
using MessageSink = std::function<void(std::string_view caption, std::string_view text)>;
void set_message_sink(MessageSink sink);

// Character metrics of the dialog font and the screen width, in pixels; read once, when the first dialog
// starts. Default: FLTK's normal font on the open display.
struct ScreenMetrics {
  int line_height;   // font height plus leading
  int char_width;    // average character width
  int screen_width;  // for base widths given in percent
};
using MetricsSource = std::function<ScreenMetrics()>;
void set_metrics_source(MetricsSource source);

// The chooser filter for a mask: the mask itself, then all files.
std::string file_filter(std::string_view mask);

}  // namespace plotlib
