#include "engine/io/settings_file.h"

#include <algorithm>
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

// The stop of each fault that trov.in can hold.
std::optional<Fault> parameter_fault(SettingsFault fault) {
  switch (fault) {
    case SettingsFault::seed_not_positive:
      return Fault::seed_not_positive;
    case SettingsFault::seed_too_large:
      return Fault::seed_too_large;
    case SettingsFault::two_covariates:
      return Fault::two_covariates;
    case SettingsFault::model_unknown:
      return Fault::model_unknown;
    case SettingsFault::maxit_below_one:
      return Fault::maxit_below_one;
    case SettingsFault::grid_too_large:
      return Fault::nstep_too_large;
    case SettingsFault::bootstrap_too_large:
      return Fault::iboot_too_large;
    case SettingsFault::maxit_too_large:
      return Fault::maxit_too_large;
    case SettingsFault::lnlambda_out_of_range:
      return Fault::lnlambda_out_of_range;
    default:  // the others trov.in's reading repairs, or takes as they come
      return std::nullopt;
  }
}

// How many of the reading's warnings come before the stop of `fault`: the seed's and the covariates'
// stops come before any, the model's and maxit's after the grid's and before the bootstrap's.
std::size_t warnings_before(SettingsFault fault, const std::vector<SettingsWarning>& warnings) {
  switch (fault) {
    case SettingsFault::seed_not_positive:
    case SettingsFault::seed_too_large:
    case SettingsFault::two_covariates:
      return 0;
    case SettingsFault::model_unknown:
    case SettingsFault::maxit_below_one:
      return static_cast<std::size_t>(std::count_if(warnings.begin(), warnings.end(), [](SettingsWarning w) {
        return w != SettingsWarning::bootstrap_needs_fixed_lambda;
      }));
    default:
      return warnings.size();
  }
}

}  // namespace

Parameters read_settings(ListReader& parameters) {
  int count = 0;
  read_or_fail(parameters, {&count});
  if (count != kParameterCount) stop_run(Fault::parameter_count);
  float value[kParameterCount];
  for (float& v : value) read_or_fail(parameters, {&v});
  Parameters p;
  Settings& s = p.settings;
  s.fit_recommended = false;  // a grid's run is the grid alone
  s.classic = true;
  read_or_fail(parameters, {&s.seed});

  // the integer settings, each converted as its line of trov.in says
  const auto setting = [&](std::size_t line) {
    return integer_setting(kParameterLines[line].reading, value[line - parameter_line::M]);
  };
  const int covariates = setting(parameter_line::M);
  p.columns.covariate = covariates >= 1;
  s.categorical = setting(parameter_line::catcov) != 0;

  std::vector<SettingsWarning> warnings;
  const int nstep = setting(parameter_line::nstep);
  if (nstep <= 0) warnings.push_back(SettingsWarning::nstep_below_one);
  if (nstep <= 1) {
    s.lnlambda = value[3];
  } else {
    s.grid_points = nstep;
    s.lnlambda_min = value[3];
    s.lnlambda_max = value[4];
    if (!(s.lnlambda_min < s.lnlambda_max)) {
      warnings.push_back(SettingsWarning::lmin_not_below_lmax);
      std::swap(s.lnlambda_min, s.lnlambda_max);
    }
  }

  s.maxit = setting(parameter_line::maxit);
  s.stop = value[6];
  s.model = static_cast<Model>(setting(parameter_line::model));
  p.columns.counts = setting(parameter_line::icol) == 1;
  s.bootstrap = setting(parameter_line::iboot);
  if (s.grid() && s.bootstrap > 1) {
    warnings.push_back(SettingsWarning::bootstrap_needs_fixed_lambda);
    s.bootstrap = 1;
  }

  // the first fault trov.in can hold stops the run where its reading meets it, after the warnings
  // that come before it
  std::optional<SettingsFault> first;
  for (const SettingsFault fault : settings_faults(s, covariates))
    if (parameter_fault(fault)) {
      first = fault;
      break;
    }
  const std::size_t said = first ? warnings_before(*first, warnings) : warnings.size();
  for (std::size_t k = 0; k < said; ++k) warn(warnings[k]);
  if (first) stop_run(*parameter_fault(*first));
  return p;
}

namespace {

[[noreturn]] void options_fault(const std::string& why) {
  stop_on_file_error(ErrorCode::options_file, "Error reading " + std::string(kOptionsFile) + why);
}

}  // namespace

Options read_options_file(Settings& settings, const DataColumns& columns) {
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
  settings.criterion = options.criterion;
  settings.bootstrap_lambda = options.bootstrap_lambda;
  settings.bootstrap_type = options.bootstrap_type;
  for (const SettingsFault fault : settings_faults(settings, columns.covariate ? 1 : 0)) {
    if (fault == SettingsFault::ocv_with_covariate)
      options_fault(": criterion ocv needs a run without covariate (choose reml, ml, gcv or ubre)");
    if (fault == SettingsFault::ubre_with_normal)
      options_fault(": criterion ubre needs the binomial or Poisson model (choose reml, ml, gcv or ocv)");
  }
  return options;
}

}  // namespace trov
