#include "engine/core/settings.h"

#include <climits>
#include <cmath>

namespace trov {

namespace {

bool within_lnlambda(double lnlambda) { return std::abs(lnlambda) <= kMostLnLambda; }

}  // namespace

std::vector<SettingsFault> settings_faults(const Settings& s, int covariates) {
  std::vector<SettingsFault> faults;
  const auto fault_if = [&](bool wrong, SettingsFault fault) {
    if (wrong) faults.push_back(fault);
  };
  const bool glm = s.model != Model::normal;
  const bool grid = s.grid();
  fault_if(s.seed <= 0, SettingsFault::seed_not_positive);
  fault_if(s.seed == INT32_MAX, SettingsFault::seed_too_large);
  fault_if(covariates >= 2, SettingsFault::two_covariates);
  fault_if(s.model != Model::normal && s.model != Model::binomial && s.model != Model::poisson,
           SettingsFault::model_unknown);
  fault_if(glm && s.maxit < 1, SettingsFault::maxit_below_one);
  fault_if(grid && s.grid_points > kMostGridPoints, SettingsFault::grid_too_large);
  fault_if(s.bootstrap > kMostReplicates, SettingsFault::bootstrap_too_large);
  fault_if(glm && s.maxit > kMostIterations, SettingsFault::maxit_too_large);
  fault_if(grid ? !within_lnlambda(s.lnlambda_min) || !within_lnlambda(s.lnlambda_max)
                : !within_lnlambda(*s.lnlambda),
           SettingsFault::lnlambda_out_of_range);
  fault_if(grid && s.grid_points < 2, SettingsFault::grid_too_small);
  fault_if(grid && !(s.lnlambda_min < s.lnlambda_max), SettingsFault::grid_ends_out_of_order);
  fault_if(!(s.stop > 0) || !std::isfinite(s.stop), SettingsFault::stop_not_positive);
  fault_if(s.bootstrap < 0, SettingsFault::bootstrap_negative);
  fault_if(s.bootstrapped() && grid && !s.fit_recommended, SettingsFault::bootstrap_needs_one_lambda);
  fault_if(s.criterion == Criterion::ocv && covariates > 0, SettingsFault::ocv_with_covariate);
  fault_if(s.criterion == Criterion::ubre && !glm, SettingsFault::ubre_with_normal);
  return faults;
}

}  // namespace trov
