#include "engine/io/settings_file.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include "common/parameter_lines.h"
#include "engine/io/messages.h"

namespace trov {

namespace {

// Upper limits of absurd settings: the grid table's readers take at most 10000 rows; beyond the other two a
// run would take days without a better result.
constexpr int kMostGridPoints = 10000;
constexpr int kMostReplicates = 100000;
constexpr int kMostIterations = 1000;

}  // namespace

Settings read_settings(ListReader& parameters) {
  int count = 0;
  read_or_fail(parameters, {&count});
  if (count != kParameterCount) stop_run(Fault::parameter_count);
  float value[kParameterCount];
  for (float& v : value) read_or_fail(parameters, {&v});
  Settings s;
  read_or_fail(parameters, {&s.seed});

  if (s.seed <= 0) stop_run(Fault::seed_not_positive);
  // 2147483647 leads the generator to its fixed state 0, which never yields a normal deviate.
  if (s.seed == INT32_MAX) stop_run(Fault::seed_too_large);

  // the integer settings, each converted as its line of trov.in says
  const auto setting = [&](std::size_t line) {
    return integer_setting(kParameterLines[line].reading, value[line - parameter_line::M]);
  };
  s.covariates = setting(parameter_line::M);
  if (s.covariates >= 2) stop_run(Fault::two_covariates);
  if (s.covariates < 0) s.covariates = 0;
  s.categorical = setting(parameter_line::catcov) != 0;

  s.nstep = setting(parameter_line::nstep);
  s.lmin = value[3];
  if (s.nstep <= 0) {
    warn(SettingsWarning::nstep_below_one);
    s.nstep = 1;
  }
  if (s.nstep == 1) {
    s.step = 0.0;
  } else {
    s.lmax = value[4];
    if (!(s.lmin < s.lmax)) {
      warn(SettingsWarning::lmin_not_below_lmax);
      std::swap(s.lmin, s.lmax);
    }
    s.step = (s.lmax - s.lmin) / (s.nstep - 1);
  }

  s.maxit = setting(parameter_line::maxit);
  s.stop = value[6];
  const int model = setting(parameter_line::model);
  s.counts_column = setting(parameter_line::icol) == 1;
  s.iboot = setting(parameter_line::iboot);
  if (model < 1 || model > 3) stop_run(Fault::model_unknown);
  s.model = static_cast<Model>(model);
  // The binomial and Poisson fits need at least one iteration to have a fit and its leverages.
  if (s.model != Model::normal && s.maxit < 1) stop_run(Fault::maxit_below_one);

  if (s.nstep > 1 && s.iboot > 1) {
    warn(SettingsWarning::bootstrap_needs_fixed_lambda);
    s.iboot = 1;
  }
  if (s.nstep > kMostGridPoints) stop_run(Fault::nstep_too_large);
  // a grid has iboot 1 by now, so only a bootstrap meets this limit
  if (s.iboot > kMostReplicates) stop_run(Fault::iboot_too_large);
  if (s.model != Model::normal && s.maxit > kMostIterations) stop_run(Fault::maxit_too_large);
  if (std::abs(s.lmin) > kMostLnLambda || (s.grid() && std::abs(s.lmax) > kMostLnLambda))
    stop_run(Fault::lnlambda_out_of_range);
  return s;
}

namespace {

[[noreturn]] void options_fault(const std::string& why) {
  stop_on_file_error(ErrorCode::options_file, "Error reading " + std::string(kOptionsFile) + why);
}

}  // namespace

Options read_options_file(const Settings& settings) {
  Options options;
  std::error_code ec;
  const auto status = std::filesystem::status(kOptionsFile, ec);
  if (status.type() == std::filesystem::file_type::not_found) return options;
  if (!std::filesystem::is_regular_file(status)) options_fault(": not a regular file");
  std::ifstream in(kOptionsFile, std::ios::binary);
  std::ostringstream text;
  if (!(text << in.rdbuf()) && in.peek() != std::ifstream::traits_type::eof())
    options_fault(std::string(": ") + std::strerror(errno));
  if (const auto fault = parse_options(text.str(), options))
    options_fault(", line " + std::to_string(fault->line) + ": " + fault->reason);
  if (options.criterion == Criterion::ocv && settings.covariates > 0)
    options_fault(": criterion ocv needs a run without covariate (choose reml, ml, gcv or ubre)");
  if (options.criterion == Criterion::ubre && settings.model == Model::normal)
    options_fault(": criterion ubre needs the binomial or Poisson model (choose reml, ml, gcv or ocv)");
  return options;
}

}  // namespace trov
