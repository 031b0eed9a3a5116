#pragma once
// trov.options: the settings beyond trov.in, an optional file beside it that both programs read.
// One `key = value` per line; `#` starts a comment (outside double quotes); blank lines are passed
// over; a value may stand in double quotes (then `#` and outer blanks belong to it). Without the file
// every setting has its default, and a run is the one trov.in alone describes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/settings.h"

namespace trov {

inline constexpr const char* kOptionsFile = "trov.options";

// Where figures go: a journal column (85 mm wide), a page (175 mm), a slide (254 x 143 mm).
enum class FigureSize { column, page, slide };

struct Options {
  Criterion criterion = Criterion::reml;                           // criterion
  BootstrapLambda bootstrap_lambda = BootstrapLambda::reselected;  // bootstrap_lambda
  BootstrapType bootstrap_type = BootstrapType::parametric;        // bootstrap_type
  FigureSize figure_size = FigureSize::column;                     // figure_size
  double figure_font_pt = 8;                                       // figure_font_pt: 7 to 24
  bool figure_gradients = false;                                   // figure_gradients: yes | no
  std::string x_label, y_label;  // x_label, y_label: axis titles; empty: the defaults by model
  // What an import of a table left out of the data file it wrote: import_table, import_data (the data
  // file, so that the facts are never told of another), import_left_out (the count of cases) and
  // import_left_out_lines (the table's first line numbers, blank-separated); and import_levels, the
  // words of a categorical covariate that the data file holds as the codes 1, 2, ... (each in double
  // quotes, "" a quote inside one, blank-separated: "field" "forest"), which no analysis reads. Empty
  // data: no import (facts given without it are dropped).
  struct Import {
    std::string table, data;
    int left_out = 0;
    std::vector<int> left_out_lines;
    std::vector<std::string> levels;
    bool operator==(const Import&) const = default;
  } import;
  // The analysis of several traits beside the one of the data file: traits_file (a CSV table in the
  // working folder, header y,n,<the traits>[,<covariate>]), traits (the names of its trait columns, two
  // or more, in double quotes as import_levels) and surface (yes: one smooth of both of two traits).
  // Empty names: no such analysis.
  struct Traits {
    std::string file;
    std::vector<std::string> names;
    bool surface = false;
    bool operator==(const Traits&) const = default;
  } traits;

  bool operator==(const Options&) const = default;
};

// Why a text is not a valid options file: the 1-based line and what is wrong there.
struct OptionsFault {
  int line = 0;
  std::string reason;
};

// Reads the text of an options file. On a fault, `options` holds the lines before it.
std::optional<OptionsFault> parse_options(std::string_view text, Options& options);

// The text of an options file that gives these options: a line for each setting that differs from its
// default, none when every one has it (then no file is needed).
std::string options_text(const Options& options);

// The names a value is written with, as the file and trov.json give them.
std::string_view criterion_name(Criterion criterion);
std::string_view bootstrap_lambda_name(BootstrapLambda mode);
std::string_view bootstrap_type_name(BootstrapType type);
std::string_view figure_size_name(FigureSize size);

}  // namespace trov
