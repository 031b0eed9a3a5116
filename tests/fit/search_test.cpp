#include "engine/fit/search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace trov {
namespace {

// Survival at 300 trait values: a line on the logit scale (proportions on it, 20 cases each), or 0/1
// survival of one case each on a logit that is a hump.
Points survival(bool hump) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(0, 1);
  Points p;
  for (int i = 0; i < 300; ++i) {
    const double x = i / 30.0 + 0.01 * unit(rng);
    const double eta = hump ? 2 - 0.25 * (x - 5) * (x - 5) : -2 + 0.4 * x;
    p.x.push_back(x);
    const double mean = 1 / (1 + std::exp(-eta));
    p.y.push_back(hump ? (unit(rng) < mean ? 1 : 0) : mean);
    p.counts.push_back(hump ? 1 : 20);
  }
  p.n = 300;
  return p;
}

struct Grid {
  std::vector<double> lnlambda, score, edf;
};

Grid grid_of(ConvergedFitter& converged, const Points& p, Criterion score, std::vector<double> lnlambda) {
  Grid g{lnlambda, {}, {}};
  for (double l : lnlambda) {
    const ConvergedFit& fit = converged.fit(std::exp(l), p.y);
    g.score.push_back(fit.*member_of(score));
    g.edf.push_back(fit.edf);
  }
  return g;
}

// A logit that is a line: REML falls beyond the grid's end until the fit is a line, and the search
// says so; a hump: the refined minimum is no higher than any score of a fine scan around it.
TEST(search_test, goes_past_the_grid_to_the_line_and_refines_an_inner_minimum) {
  const Points line = survival(false);
  ConvergedFitter converged(line, nullptr, Model::binomial);
  const SearchSetting setting{.y = line.y, .interpolating_edf = 300, .tolerance = 1e-4};
  const Grid g = grid_of(converged, line, Criterion::reml, {-2, 0, 2});
  const auto to_line = search_minimum(converged, {g.lnlambda, g.score, g.edf}, Criterion::reml, setting);
  ASSERT_TRUE(to_line);
  EXPECT_EQ(to_line->limit, SearchLimit::linear);
  EXPECT_NEAR(to_line->edf, 2, 1e-3);
  EXPECT_GT(to_line->lnlambda, 2);

  const Points hump = survival(true);
  ConvergedFitter converged_hump(hump, nullptr, Model::binomial);
  const SearchSetting hump_setting{.y = hump.y, .interpolating_edf = 300, .tolerance = 1e-4};
  std::vector<double> rows;
  for (int k = -10; k <= 10; k += 2) rows.push_back(k);
  const Grid h = grid_of(converged_hump, hump, Criterion::reml, rows);
  const auto inner =
      search_minimum(converged_hump, {h.lnlambda, h.score, h.edf}, Criterion::reml, hump_setting);
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->limit, SearchLimit::none);
  for (double l = inner->lnlambda - 0.05; l <= inner->lnlambda + 0.05; l += 0.01) {
    const ConvergedFit& fit = converged_hump.fit(std::exp(l), hump.y);
    EXPECT_LE(inner->score, fit.reml + 1e-9) << l;
  }
}

// A failed row is never an end of a bracket: next to the smallest score it is where the search steps
// towards, bounded by it; a row that failed because its fit ran away names the limit it reaches.
TEST(search_test, a_failed_row_bounds_the_search_and_is_never_a_bracket_end) {
  const std::vector<double> lnlambda = {-4, -2, 0, 2, 4};
  const std::vector<double> score = {5.0, NAN, 2.0, 4.0, 6.0}, edf = {12, NAN, 6, 4, 3};
  const std::vector<NewtonEnd> end = {NewtonEnd::converged, NewtonEnd::ran_away, NewtonEnd::converged,
                                      NewtonEnd::converged, NewtonEnd::converged};
  const SearchSetting setting{.y = {}, .interpolating_edf = 40};
  // the smallest score beside the failed row: outward towards it, with it as the boundary
  SearchPlan plan = plan_search({lnlambda, score, edf, end}, Criterion::gcv, setting);
  EXPECT_EQ(plan.kind, SearchPlan::Kind::outward);
  EXPECT_EQ(plan.direction, -1);
  ASSERT_TRUE(plan.boundary);
  EXPECT_EQ(plan.boundary->lnlambda, -2);
  EXPECT_EQ(plan.boundary->end, NewtonEnd::ran_away);
  // the failed row at the grid's end, the smallest score beside it
  const std::vector<double> falling = {NAN, 1.0, 5.0, 6.0, 7.0};
  const std::vector<NewtonEnd> ends = {NewtonEnd::ran_away, NewtonEnd::converged, NewtonEnd::converged,
                                       NewtonEnd::converged, NewtonEnd::converged};
  plan = plan_search({lnlambda, falling, edf, ends}, Criterion::gcv, setting);
  EXPECT_EQ(plan.kind, SearchPlan::Kind::outward);
  EXPECT_EQ(plan.direction, -1);
  ASSERT_TRUE(plan.boundary);
  EXPECT_EQ(plan.boundary->lnlambda, -4);
  EXPECT_EQ(plan.low.lnlambda, 0);
  // with finite neighbours, a bracket of them
  const std::vector<double> inner = {5.0, 3.0, 2.0, 4.0, NAN};
  plan = plan_search({lnlambda, inner, edf, end}, Criterion::gcv, setting);
  EXPECT_EQ(plan.kind, SearchPlan::Kind::bracket);
  EXPECT_EQ(plan.low.lnlambda, -2);
  EXPECT_EQ(plan.high.lnlambda, 2);
}

}  // namespace
}  // namespace trov
