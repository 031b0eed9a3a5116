#include "common/options_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

#include "common/text.h"
#include "common/utf8.h"

namespace trov {

namespace {

constexpr std::size_t kLongestLine = 1000;
constexpr std::size_t kLongestLabel = 200;
// lists and file names so that the line as written back (key, blanks, quotes) stays within kLongestLine
constexpr std::size_t kLongestLevels = 900;
constexpr std::size_t kLongestName = 900;
constexpr std::size_t kMostLevels = 20;  // the most levels of a categorical covariate
constexpr double kSmallestFont = 7, kLargestFont = 24;

constexpr std::array<std::pair<Criterion, std::string_view>, 5> kCriteria = {{{Criterion::reml, "reml"},
                                                                              {Criterion::ml, "ml"},
                                                                              {Criterion::gcv, "gcv"},
                                                                              {Criterion::ubre, "ubre"},
                                                                              {Criterion::ocv, "ocv"}}};
constexpr std::array<std::pair<BootstrapLambda, std::string_view>, 2> kBootstrapLambdas = {
    {{BootstrapLambda::fixed, "fixed"}, {BootstrapLambda::reselected, "reselected"}}};
constexpr std::array<std::pair<BootstrapType, std::string_view>, 2> kBootstrapTypes = {
    {{BootstrapType::parametric, "parametric"}, {BootstrapType::cases, "cases"}}};
constexpr std::array<std::pair<FigureSize, std::string_view>, 3> kFigureSizes = {
    {{FigureSize::column, "column"}, {FigureSize::page, "page"}, {FigureSize::slide, "slide"}}};
constexpr std::array<std::pair<bool, std::string_view>, 2> kYesNo = {{{true, "yes"}, {false, "no"}}};

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

template <typename T, std::size_t N>
std::string choices(const std::array<std::pair<T, std::string_view>, N>& table) {
  std::string text;
  for (std::size_t k = 0; k < N; ++k)
    text += std::string(k == 0 ? "" : k + 1 == N ? " or " : ", ") + std::string(table[k].second);
  return text;
}

// The value named by the word (any case), or why not.
template <typename T, std::size_t N>
std::optional<std::string> one_of(const std::array<std::pair<T, std::string_view>, N>& table,
                                  std::string_view word, T& value) {
  const std::string key = lower(word);
  for (const auto& [v, name] : table)
    if (key == name) {
      value = v;
      return std::nullopt;
    }
  std::string why(1, '\'');  // built by appending: g++ 12 warns falsely of "'" + std::string
  why.append(word).append("' is not one of ").append(choices(table));
  return why;
}

template <typename T, std::size_t N>
std::string_view name_in(const std::array<std::pair<T, std::string_view>, N>& table, T value) {
  for (const auto& [v, name] : table)
    if (v == value) return name;
  return {};
}

// True when the text is UTF-8 without control characters, as a label must be to stand in trov.json
// and on a figure.
bool printable_utf8(std::string_view text) {
  return valid_utf8(text) && std::none_of(text.begin(), text.end(), [](char c) {
           return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
         });
}

// Words in double quotes from the value within its outer quotes (`what` names them in the faults, as
// "level"): a word ends at a quote followed by blanks and the next word's opening quote; "" is a quote
// within a word. Each word is UTF-8 text without control characters, not empty.
std::optional<std::string> read_quoted_words(std::string_view value, bool quoted, const std::string& what,
                                             std::vector<std::string>& words) {
  if (!quoted) return "the " + what + "s must stand in double quotes: \"field\" \"forest\"";
  if (value.size() > kLongestLevels) return "the " + what + "s may hold at most 900 bytes";
  words.assign(1, std::string());
  for (std::size_t k = 0; k < value.size(); ++k) {
    if (value[k] != '"') {
      words.back() += value[k];
    } else if (k + 1 < value.size() && value[k + 1] == '"') {
      words.back() += '"';
      ++k;
    } else {
      const std::size_t next = value.find_first_not_of(' ', k + 1);
      if (next == k + 1 || next == std::string_view::npos || value[next] != '"')
        return "a quote within a " + what + " must be doubled (\"\")";
      words.emplace_back();
      k = next;
    }
  }
  for (const std::string& word : words)
    if (word.empty() || !printable_utf8(word))
      return "a " + what + " must be UTF-8 text without control characters, not empty";
  return std::nullopt;
}

std::optional<std::string> read_levels(std::string_view value, bool quoted,
                                       std::vector<std::string>& levels) {
  if (auto why = read_quoted_words(value, quoted, "level", levels)) return why;
  if (levels.size() > kMostLevels) return std::string("at most 20 levels");
  return std::nullopt;
}

// The traits' names are the columns of a plain CSV header beside y and n: distinct, no comma or quote.
std::optional<std::string> read_trait_names(std::string_view value, bool quoted,
                                            std::vector<std::string>& names) {
  if (auto why = read_quoted_words(value, quoted, "trait", names)) return why;
  if (names.size() < 2) return std::string("give two or more traits");
  for (std::size_t a = 0; a < names.size(); ++a) {
    if (names[a].find_first_of(",\"") != std::string::npos)
      return "the trait '" + names[a] + "' holds a comma or a quote, which a CSV header cannot";
    if (names[a] == "y" || names[a] == "n")
      return "a trait may not be named y or n (the table's own columns)";
    if (std::find(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(a), names[a]) !=
        names.begin() + static_cast<std::ptrdiff_t>(a))
      return "the trait '" + names[a] + "' is given twice";
  }
  return std::nullopt;
}

// A file name of the working folder, as trov.json and the front end show it.
std::optional<std::string> read_file_name(std::string_view value, std::string& name) {
  if (value.size() > kLongestName) return std::string("a file name may hold at most 900 bytes");
  if (!printable_utf8(value)) return std::string("a file name must be UTF-8 text without control characters");
  name = value;
  return std::nullopt;
}

// Sets one key from its value (`quoted`: it stood in double quotes); the reason when the key or the
// value is not valid.
std::optional<std::string> set_option(std::string_view key, std::string_view value, bool quoted, Options& o) {
  if (key == "import_levels") return read_levels(value, quoted, o.import.levels);
  if (key == "criterion") return one_of(kCriteria, value, o.criterion);
  if (key == "bootstrap_lambda") return one_of(kBootstrapLambdas, value, o.bootstrap_lambda);
  if (key == "bootstrap_type") return one_of(kBootstrapTypes, value, o.bootstrap_type);
  if (key == "figure_size") return one_of(kFigureSizes, value, o.figure_size);
  if (key == "figure_gradients") return one_of(kYesNo, value, o.figure_gradients);
  if (key == "figure_font_pt") {
    double pt = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pt);
    if (error != std::errc() || end != value.data() + value.size() ||
        !(pt >= kSmallestFont && pt <= kLargestFont))
      return "'" + std::string(value) + "' is not a size from 7 to 24 (points)";
    o.figure_font_pt = pt;
    return std::nullopt;
  }
  if (key == "x_label" || key == "y_label") {
    if (value.size() > kLongestLabel) return "a label may hold at most 200 bytes";
    if (!printable_utf8(value)) return "a label must be UTF-8 text without control characters";
    (key == "x_label" ? o.x_label : o.y_label) = value;
    return std::nullopt;
  }
  if (key == "import_table") return read_file_name(value, o.import.table);
  if (key == "import_data") return read_file_name(value, o.import.data);
  if (key == "traits_file") {
    if (value.empty()) return std::string("traits_file needs the name of a file");
    return read_file_name(value, o.traits.file);
  }
  if (key == "traits") return read_trait_names(value, quoted, o.traits.names);
  if (key == "surface") return one_of(kYesNo, value, o.traits.surface);
  if (key == "import_left_out") {
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), o.import.left_out);
    if (error != std::errc() || end != value.data() + value.size() || o.import.left_out < 0)
      return "'" + std::string(value) + "' is not a count of cases";
    return std::nullopt;
  }
  if (key == "import_left_out_lines") {
    o.import.left_out_lines.clear();
    for (const char* at = value.data(); at != value.data() + value.size();) {
      if (*at == ' ') {
        ++at;
        continue;
      }
      int line = 0;
      const auto [end, error] = std::from_chars(at, value.data() + value.size(), line);
      if (error != std::errc() || line < 1 || (end != value.data() + value.size() && *end != ' '))
        return std::string(1, '\'').append(value).append("' is not a list of line numbers");
      o.import.left_out_lines.push_back(line);
      at = end;
    }
    return std::nullopt;
  }
  return "unknown key '" + std::string(key) +
         "' (the keys: criterion, bootstrap_lambda, bootstrap_type, figure_size, figure_font_pt, "
         "figure_gradients, x_label, y_label, import_table, import_data, import_left_out, "
         "import_left_out_lines, import_levels, traits_file, traits, surface)";
}

// The number as the shortest text that reads back to it.
std::string shortest(double value) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// Each word in double quotes after a blank, a quote within one doubled.
std::string quoted_words(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    text += " \"";
    for (char c : word) text.append(c == '"' ? 2 : 1, c);
    text += '"';
  }
  return text;
}

// One line's key and value, without blanks around them or the quotes of a quoted value; nothing for a
// blank line or a comment; or why the line cannot be read.
struct Setting {
  std::string key;
  std::string_view value;
  bool quoted = false;
};
std::optional<std::string> split_line(std::string_view line, std::optional<Setting>& setting) {
  setting.reset();
  const std::size_t equals = line.find('='), hash = line.find('#');
  if (equals == std::string_view::npos || hash < equals) {
    if (trimmed(line.substr(0, hash)).empty()) return std::nullopt;
    return "no '=': write each setting as key = value";
  }
  std::string_view value = trimmed(line.substr(equals + 1));
  const bool quoted = !value.empty() && value.front() == '"';
  if (quoted) {
    // a quoted value runs to the last quote of the line; only a comment may follow it
    const std::size_t closing = value.rfind('"');
    if (closing == 0) return "the value's closing '\"' is missing";
    const std::string_view rest = trimmed(value.substr(closing + 1));
    if (!rest.empty() && rest.front() != '#') return "text after the value's closing '\"'";
    value = value.substr(1, closing - 1);
  } else {
    value = trimmed(value.substr(0, value.find('#')));
    if (value.empty()) return "no value after '='";
  }
  setting = Setting{lower(trimmed(line.substr(0, equals))), value, quoted};
  return std::nullopt;
}

// The traits' keys go together: a table needs its traits' names and they need it; a surface is of two.
std::optional<OptionsFault> traits_fault(const Options::Traits& traits, int file_line, int names_line,
                                         int surface_line) {
  if (file_line > 0 && names_line == 0)
    return OptionsFault{file_line, "traits_file needs traits, the names of its trait columns"};
  if (names_line > 0 && file_line == 0)
    return OptionsFault{names_line, "traits needs traits_file, the table that holds them"};
  if (traits.surface && traits.names.size() != 2)
    return OptionsFault{surface_line, "surface = yes takes exactly two traits"};
  return std::nullopt;
}

}  // namespace

std::optional<OptionsFault> parse_options(std::string_view text, Options& options) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  constexpr std::array<std::string_view, 16> kKeys = {
      "criterion",      "bootstrap_lambda", "bootstrap_type",  "figure_size",
      "figure_font_pt", "figure_gradients", "x_label",         "y_label",
      "import_table",   "import_data",      "import_left_out", "import_left_out_lines",
      "import_levels",  "traits_file",      "traits",          "surface"};
  std::array<int, kKeys.size()> given{};  // the line where each key was given
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size()
                                                     : end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
    if (line.size() > kLongestLine) return OptionsFault{number, "the line is longer than 1000 characters"};
    std::optional<Setting> setting;
    if (auto why = split_line(line, setting)) return OptionsFault{number, *why};
    if (!setting) continue;
    if (const auto known = std::find(kKeys.begin(), kKeys.end(), setting->key); known != kKeys.end()) {
      int& first = given[static_cast<std::size_t>(known - kKeys.begin())];
      if (first > 0)
        return OptionsFault{number,
                            setting->key + " is given twice (line " + std::to_string(first) + " too)"};
      first = number;
    }
    if (auto why = set_option(setting->key, setting->value, setting->quoted, options))
      return OptionsFault{number, *why};
  }
  if (options.import.data.empty()) options.import = {};
  const auto line_of = [&](std::string_view key) {
    return given[static_cast<std::size_t>(std::find(kKeys.begin(), kKeys.end(), key) - kKeys.begin())];
  };
  return traits_fault(options.traits, line_of("traits_file"), line_of("traits"), line_of("surface"));
}

std::string options_text(const Options& o) {
  const Options d;
  std::string text;
  if (o.criterion != d.criterion) text += "criterion = " + std::string(criterion_name(o.criterion)) + "\n";
  if (o.bootstrap_lambda != d.bootstrap_lambda)
    text += "bootstrap_lambda = " + std::string(bootstrap_lambda_name(o.bootstrap_lambda)) + "\n";
  if (o.bootstrap_type != d.bootstrap_type)
    text += "bootstrap_type = " + std::string(bootstrap_type_name(o.bootstrap_type)) + "\n";
  if (o.figure_size != d.figure_size)
    text += "figure_size = " + std::string(figure_size_name(o.figure_size)) + "\n";
  if (o.figure_font_pt != d.figure_font_pt) text += "figure_font_pt = " + shortest(o.figure_font_pt) + "\n";
  if (o.figure_gradients != d.figure_gradients) text += "figure_gradients = yes\n";
  if (!o.x_label.empty()) text += "x_label = \"" + o.x_label + "\"\n";
  if (!o.y_label.empty()) text += "y_label = \"" + o.y_label + "\"\n";
  if (!o.import.data.empty()) {
    text += "import_table = \"" + o.import.table + "\"\nimport_data = \"" + o.import.data + "\"\n";
    text += "import_left_out = " + std::to_string(o.import.left_out) + "\n";
    if (!o.import.left_out_lines.empty()) {
      text += "import_left_out_lines =";
      for (int line : o.import.left_out_lines) text.append(" ").append(std::to_string(line));
      text += "\n";
    }
    if (!o.import.levels.empty()) text += "import_levels =" + quoted_words(o.import.levels) + "\n";
  }
  if (!o.traits.names.empty()) {
    text += "traits_file = \"" + o.traits.file + "\"\ntraits =" + quoted_words(o.traits.names) + "\n";
    if (o.traits.surface) text += "surface = yes\n";
  }
  return text;
}

std::string_view criterion_name(Criterion criterion) { return name_in(kCriteria, criterion); }
std::string_view bootstrap_lambda_name(BootstrapLambda mode) { return name_in(kBootstrapLambdas, mode); }
std::string_view bootstrap_type_name(BootstrapType type) { return name_in(kBootstrapTypes, type); }
std::string_view figure_size_name(FigureSize size) { return name_in(kFigureSizes, size); }

}  // namespace trov
