// trov.json's "traits" member, as the figures and the packages read it.
#include "engine/api/traits_document.h"

#include <gtest/gtest.h>

#include <cmath>

namespace trov::api {
namespace {

TEST(traits_document_test, lays_out_matrices_and_grids_by_row_and_writes_nan_as_null) {
  TraitsData data{
      .names = {"a", "b"}, .traits = {{1, 2, 3}, {4, 5, 6}}, .y = {0, 1, 1}, .n = {}, .covariates = {}};
  TraitsResults r;
  r.cases = 3;
  r.observations = 3;
  r.names = data.names;
  r.surface = TraitSurface{.names = {"a", "b"},
                           .lambda = {1, std::exp(2.0)},
                           .edf = 5,
                           .grid_a = {1, 2, 3},
                           .grid_b = {4, 6},
                           .grid_fitted = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6}};
  r.fitted = {0.2, 0.5, NAN};
  r.gradients.beta = {{.value = 1, .se = NAN}, {.value = 2, .se = NAN}};
  r.gradients.gamma = {{.value = 11}, {.value = 12}, {.value = 12}, {.value = 22}};
  r.peak.inside = true;
  r.peak.location = {{.value = 2}, {.value = 5}};
  r.peak.height = {.value = 0.7, .se = NAN};
  r.bootstrap = TraitsBootstrap{.replicates = 10, .type = BootstrapType::cases, .failed = 1};

  const nlohmann::ordered_json doc = traits_document(data, r, Model::binomial);
  EXPECT_EQ(doc["shape"], "surface");
  EXPECT_EQ(doc["model"], "binomial");
  EXPECT_EQ(doc["smooths"].dump(), "[]");
  EXPECT_EQ(doc["surface"]["lnlambda"].dump(), "[0.0,2.0]");
  EXPECT_EQ(doc["surface"]["fitted"].dump(), "[[0.1,0.2,0.3],[0.4,0.5,0.6]]");  // one row per grid_b
  EXPECT_EQ(doc["gradients"]["beta"]["se"].dump(), "[null,null]");
  EXPECT_EQ(doc["gradients"]["gamma"]["estimate"].dump(), "[[11.0,12.0],[12.0,22.0]]");
  EXPECT_EQ(doc["peak"]["location"]["estimate"].dump(), "[2.0,5.0]");
  EXPECT_FALSE(doc["peak"]["location"].contains("p"));
  EXPECT_TRUE(doc["peak"]["height"]["se"].is_null());
  EXPECT_EQ(doc["bootstrap"].dump(),
            R"({"replicates":10,"type":"cases","lambda":"reselected","degenerate":0,"failed":1})");
  EXPECT_EQ(
      doc["points"].dump(),
      R"({"a":[1.0,2.0,3.0],"b":[4.0,5.0,6.0],"y":[0.0,1.0,1.0],"n":[1.0,1.0,1.0],"fitted":[0.2,0.5,null]})");
}

TEST(traits_document_test, an_additive_fit_has_a_smooth_per_trait_and_no_peak_outside) {
  TraitsData data;
  data.names = {"a", "b"};
  data.traits.resize(2);
  for (int i = 0; i < 60; ++i) {
    data.traits[0].push_back(i % 12);
    data.traits[1].push_back((i * 7) % 11);
    data.y.push_back((i * 5 % 9) < 2 + (i % 12) / 3 ? 1 : 0);
  }
  Settings settings;
  settings.model = Model::binomial;
  settings.criterion = Criterion::reml;
  const TraitsOutcome outcome = analyse_traits(data, settings);
  ASSERT_TRUE(std::holds_alternative<TraitsResults>(outcome)) << std::get<Error>(outcome).text;
  const TraitsResults& r = std::get<TraitsResults>(outcome);
  const nlohmann::ordered_json doc = traits_document(data, r, settings.model);
  EXPECT_EQ(doc["shape"], "additive");
  EXPECT_TRUE(doc["surface"].is_null());
  ASSERT_EQ(doc["smooths"].size(), 2u);
  EXPECT_EQ(doc["smooths"][1]["name"], "b");
  EXPECT_DOUBLE_EQ(doc["smooths"][0]["lnlambda"].get<double>(), std::log(r.smooths[0].lambda));
  EXPECT_EQ(doc["points"]["fitted"].size(), 60u);
  if (!r.peak.inside) {
    EXPECT_TRUE(doc["peak"]["location"].is_null() && doc["peak"]["height"].is_null());
  }
  EXPECT_TRUE(doc["bootstrap"].is_null());
}

}  // namespace
}  // namespace trov::api
