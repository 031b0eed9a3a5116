#include "engine/program/traits_run.h"

#include <optional>
#include <utility>
#include <variant>

#include "engine/analysis/workers.h"
#include "engine/api/traits.h"
#include "engine/api/traits_document.h"
#include "engine/io/messages.h"

namespace trov {

nlohmann::ordered_json run_traits(const Options::Traits& asked, TraitsTable table, const Settings& settings) {
  api::TraitsData data{.names = asked.names,
                       .traits = std::move(table.traits),
                       .y = std::move(table.y),
                       .n = std::move(table.n),
                       .covariates = {}};
  if (!table.covariate_name.empty())
    data.covariates.push_back({.name = table.covariate_name,
                               .values = std::move(table.covariate),
                               .categorical = settings.categorical});
  Settings traits_settings = settings;
  traits_settings.criterion = Criterion::reml;
  traits_settings.lnlambda.reset();
  std::optional<ProgressLines> lines;
  api::Control control;
  if (settings.bootstrapped()) {
    lines.emplace(settings.bootstrap);
    control.progress = [&lines](int, int) { lines->item_done(); };
  }
  api::TraitsModel shape;
  shape.surface = asked.surface;
  const api::TraitsOutcome outcome =
      api::analyse_traits(data, traits_settings, shape, available_processors(), control);
  if (const auto* error = std::get_if<api::Error>(&outcome))
    stop_on_file_error(error->code,
                       "Error in the analysis of the traits of \"" + asked.file + "\": " + error->text);
  return api::traits_document(data, std::get<api::TraitsResults>(outcome), settings.model);
}

}  // namespace trov
