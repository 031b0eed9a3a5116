#include "frontend/settings_file.h"

#include <fstream>

#include "common/list_reader.h"

namespace trov::front {

namespace {

// One blank and the digits, as a list-directed integer is written.
std::string blank_and_digits(int value) {
  std::string text(1, ' ');
  text.append(std::to_string(value));
  return text;
}

std::string integer_line(int value, const char* comment) {
  return blank_and_digits(value) + "        " + comment + "\n";
}

std::string text_line(const std::string& field, const char* comment) {
  return fixed_field(field, 10) + comment + "\n";
}

std::string without_leading_blanks(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

// File names: leading blanks removed as when written, trailing ones dropped.
std::string name_of(const std::string& text) { return without_trailing_blanks(without_leading_blanks(text)); }

}  // namespace

std::string without_trailing_blanks(const std::string& text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string afromi(int value) { return fixed_field(blank_and_digits(value), 10); }

std::string fixed_field(const std::string& text, std::size_t length) {
  std::string field = text.substr(0, length);
  field.resize(length, ' ');
  return field;
}

void derive_choices(DialogValues& v) {
  if (v.nstep < 1) v.nstep = 1;
  v.nstep_text = afromi(v.nstep);
  v.iopt = v.nstep == 1 ? 1 : 2;
  v.icov = v.M == 0 ? 1 : (v.catcov == 0 ? 2 : 3);
}

void take_back(const DialogEntries& e, DialogValues& v) {
  v.icov = e.covariate;
  v.M = v.icov == 1 ? 0 : 1;
  v.catcov = v.icov == 3 ? 1 : 0;
  if (v.iopt == 1) {
    v.nstep_text = fixed_field("1", 10);
    v.lmin = fixed_field(e.fixed, 10);
  } else {
    v.nstep_text = fixed_field(e.number, 10);
    v.lmin = fixed_field(e.smallest, 10);
    v.lmax = fixed_field(e.largest, 10);
  }
  v.maxit = fixed_field(e.iterations, 10);
  v.stop = fixed_field(e.tolerance, 10);
  v.model = e.model;
  v.icol = e.structure;
  v.iboot = fixed_field(v.iopt == 2 ? "0" : e.boot, 10);
  v.seed = fixed_field(e.seed, 10);
  v.datfil = name_of(e.data_file);
  v.outfil = name_of(e.output_file);
}

DialogValues default_values() {
  DialogValues v;
  derive_choices(v);
  return v;
}

bool load_parameter_file(const std::string& path, DialogValues& v) {
  std::ifstream file(path);
  if (!file) return false;
  ListReader in(file, path);
  std::string line;
  auto text = [&](std::string& field, std::size_t length) {
    if (!in.read_line(line).ok()) return false;
    field = fixed_field(line, length);
    return true;
  };
  bool ok = text(v.count, 10) && in.read({&v.M}).ok() && in.read({&v.catcov}).ok() && in.read({&v.nstep}).ok() &&
            text(v.lmin, 10) && text(v.lmax, 10) && text(v.maxit, 10) && text(v.stop, 10) &&
            in.read({&v.model}).ok() && in.read({&v.icol}).ok() && text(v.iboot, 10) && text(v.seed, 10) &&
            in.read_line(line).ok();
  if (!ok) return false;
  // the whole name, as the engine reads it: a picked path is often longer than 50 characters
  v.datfil = without_trailing_blanks(line);
  derive_choices(v);
  return true;
}

std::string parameter_file_text(const DialogValues& v) {
  std::string out = text_line(v.count, "SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY");
  out += integer_line(v.M, "M = number of covariates (0 or 1)");
  out += integer_line(v.catcov, "catcov = covariate is continuous (0) or category (1)");
  out += text_line(v.nstep_text, "nstep = number of lambdas to search over");
  out += text_line(v.lmin, "lmin = smallest ln(lambda) of search, or fixed ln(lambda)");
  out += text_line(v.lmax, "lmax = largest ln(lambda) of search");
  out += text_line(v.maxit, "maxit = max number of iterations for spline fit");
  out += text_line(v.stop, "stop = convergence tolerance for spline fit");
  out += integer_line(v.model, "model 1 = normal 2= binomial 3=poisson");
  out += integer_line(v.icol, "icol 1 =third data column has #replicates, 2=not");
  out += text_line(v.iboot, "iboot = Number of bootstrap replications to carry out");
  out += text_line(v.seed, "random number seed for bootstrapping");
  // the name in all 100 columns; a longer picked path is written whole, as the engine reads it whole
  out += v.datfil.size() < 100 ? fixed_field(v.datfil, 100) : v.datfil;
  return out + "\n";
}

}  // namespace trov::front
