#include "frontend/settings_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "common/list_reader.h"
#include "common/parameter_lines.h"

namespace trov::front {

namespace {

// What the number of lambdas becomes in the fixed option: one fixed lambda.
const std::string kOneLambda = "1";

std::string without_leading_blanks(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

// File names: leading blanks removed as when written, trailing ones dropped.
std::string name_of(const std::string& text) { return without_trailing_blanks(without_leading_blanks(text)); }

// The shortest text that reads back as the same single-precision value ("0.005", "-10", "1e-08").
std::string real_text(float value) {
  std::array<char, 32> text;
  auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), end);
}

std::string line_text(const ParameterLine& line, const std::string& value) {
  switch (line.form) {
    case ValueForm::field:
      return fixed_field(value, kFieldColumns) + std::string(line.comment) + "\n";
    case ValueForm::integer:
      return " " + value + "        " + std::string(line.comment) + "\n";
    case ValueForm::name:  // a longer picked path is written whole, as the engine reads it whole
      return (value.size() < kNameColumns ? fixed_field(value, kNameColumns) : value) + "\n";
  }
  return {};
}

std::string where(const ListReader& in, const ListReader::Result& r) {
  if (r.status == ListReader::Status::end_of_file)
    return "it ends after line " + std::to_string(in.line_number());
  return "line " + std::to_string(in.line_number()) + ": " + r.fault;
}

}  // namespace

std::string without_trailing_blanks(const std::string& text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string afromi(int value) {
  std::string text(1, ' ');
  text += std::to_string(value);
  return fixed_field(text, 10);
}

std::string fixed_field(const std::string& text, std::size_t length) {
  std::string field = text.substr(0, length);
  field.resize(length, ' ');
  return field;
}

void derive_choices(DialogValues& v) {
  if (v.nstep < 1) v.nstep = 1;
  v.nstep_text = afromi(v.nstep);
  v.iopt = v.nstep == 1 ? 1 : 2;
  v.icov = v.M <= 0 ? 1 : (v.catcov == 0 ? 2 : 3);  // the engine takes a negative M as 0
  if (v.icol != 1) v.icol = 2;                      // any value but 1: no count column
}

void take_back(const DialogEntries& e, DialogValues& v) {
  v.icov = e.covariate;
  v.M = v.icov == 1 ? 0 : 1;
  v.catcov = v.icov == 3 ? 1 : 0;
  if (v.iopt == 1) {
    v.nstep_text = kOneLambda;
    v.lmin = e.fixed;
  } else {
    v.nstep_text = e.number;
    v.lmin = e.smallest;
    v.lmax = e.largest;
  }
  v.maxit = e.iterations;
  v.stop = e.tolerance;
  v.model = e.model;
  v.icol = e.structure;
  v.iboot = v.iopt == 2 ? "0" : e.boot;
  v.seed = e.seed;
  v.datfil = name_of(e.data_file);
  v.outfil = name_of(e.output_file);
  v.options.criterion = static_cast<Criterion>(std::clamp(e.criterion, 1, 5) - 1);
  v.options.bootstrap_type = static_cast<BootstrapType>(std::clamp(e.bootstrap_type, 1, 2) - 1);
  v.options.bootstrap_lambda = v.options.bootstrap_type == BootstrapType::cases
                                   ? BootstrapLambda::reselected
                                   : static_cast<BootstrapLambda>(std::clamp(e.bootstrap_lambda, 1, 2) - 1);
  v.options.x_label = name_of(e.x_title);
  v.options.y_label = name_of(e.y_title);
}

DialogValues default_values() {
  DialogValues v;
  derive_choices(v);
  return v;
}

std::string load_parameter_file(const std::string& path, DialogValues& values) {
  std::ifstream file(path);
  if (!file) return "it cannot be opened";
  ListReader in(file, path);
  int count = 0;
  if (ListReader::Result r = in.read({&count}); !r.ok()) return where(in, r);
  if (count != kParameterCount) return "line 1 holds " + std::to_string(count) + ", not 10";
  // A line that starts with a comma or a slash holds no value: the target keeps what it had.
  constexpr float none = std::numeric_limits<float>::quiet_NaN();
  std::array<float, kParameterLines.size()> value;
  value.fill(none);
  for (std::size_t k = parameter_line::M; k <= parameter_line::iboot; ++k) {
    if (ListReader::Result r = in.read({&value[k]}); !r.ok()) return where(in, r);
    if (std::isnan(value[k])) return "line " + std::to_string(in.line_number()) + " holds no value";
  }
  int seed = std::numeric_limits<int>::min();
  if (ListReader::Result r = in.read({&seed}); !r.ok()) return where(in, r);
  if (seed == std::numeric_limits<int>::min())
    return "line " + std::to_string(in.line_number()) + " holds no value";
  std::string name;
  if (ListReader::Result r = in.read_line(name); !r.ok()) return where(in, r);

  using namespace parameter_line;
  auto setting = [&](std::size_t k) { return integer_setting(kParameterLines[k].reading, value[k]); };
  DialogValues v;
  v.outfil = values.outfil;
  v.M = setting(M);
  v.catcov = setting(catcov);
  v.nstep = setting(nstep);
  v.lmin = real_text(value[lmin]);
  v.lmax = real_text(value[lmax]);
  v.maxit = std::to_string(setting(maxit));
  v.stop = real_text(value[stop]);
  v.model = setting(model);
  v.icol = setting(icol);
  v.iboot = std::to_string(setting(iboot));
  v.seed = std::to_string(seed);
  v.datfil = without_trailing_blanks(name);  // leading blanks belong to the name
  derive_choices(v);
  values = v;
  return {};
}

std::string parameter_file_text(const DialogValues& v) {
  using namespace parameter_line;
  std::array<std::string, kParameterLines.size()> value;
  value[count] = std::to_string(kParameterCount);
  value[M] = std::to_string(v.M);
  value[catcov] = std::to_string(v.catcov);
  value[nstep] = v.nstep_text;
  value[lmin] = v.lmin;
  value[lmax] = v.lmax;
  value[maxit] = v.maxit;
  value[stop] = v.stop;
  value[model] = std::to_string(v.model);
  value[icol] = std::to_string(v.icol);
  value[iboot] = v.iboot;
  value[seed] = v.seed;
  value[data_file] = v.datfil;
  std::string out;
  for (std::size_t k = 0; k < kParameterLines.size(); ++k) out += line_text(kParameterLines[k], value[k]);
  return out;
}

std::string load_options_file(const std::string& path, Options& options) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return {};
  if (!std::filesystem::is_regular_file(path, ec)) return "not a regular file";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in && !in.eof()) return std::strerror(errno);
  Options read;
  if (const auto fault = parse_options(text.str(), read))
    return "line " + std::to_string(fault->line) + ": " + fault->reason;
  options = read;
  return {};
}

std::string save_options_file(const std::string& path, const Options& options) {
  const std::string text = options_text(options);
  std::error_code ec;
  if (text.empty()) {
    std::filesystem::remove(path, ec);
    return ec ? ec.message() : std::string();
  }
  std::ofstream out(path, std::ios::trunc | std::ios::binary);
  out << "# settings beyond trov.in, written by trovwin\n" << text;
  out.flush();
  return out ? std::string() : std::string(std::strerror(errno));
}

}  // namespace trov::front
