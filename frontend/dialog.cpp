#include "frontend/dialog.h"

#include <FL/Enumerations.H>

#include <filesystem>
#include <string>

#include "frontend/details_window.h"
#include "frontend/import_window.h"
#include "plotlib/widgets/widgets.h"

namespace trov::front {

namespace {

// Identifiers of the widgets the callbacks and the read-back use.
struct DialogIds {
  int opt, mod, cov, fil, str, fix, lmin, lmax, step, boot, seed, stop, maxit, out, ok, quit;
  int import_entry;
  int details_entry;
  int criterion, boot_lambda, boot_type, x_title, y_title;  // the settings of trov.options
};

DialogIds ids;

// The lists of trov.options' settings, in the order of their enumerations.
constexpr const char* kCriterionItems = "REML|ML|GCV|UBRE|OCV";
constexpr const char* kBootstrapLambdaItems = "fixed|re-chosen per replicate";
constexpr const char* kBootstrapTypeItems = "from the fitted curve|the cases (individuals)";
int* current_option = nullptr;  // the held option, which the option list's callback updates

void set_status(int id, bool active) { plotlib::swgatt(id, active ? "active" : "inactive", "status"); }

// Fields that belong to the option: the fixed lambda and the bootstrap, or the range.
void show_option(int option) {
  bool fixed = option == 1;
  set_status(ids.fix, fixed);
  set_status(ids.step, !fixed);
  set_status(ids.lmin, !fixed);
  set_status(ids.lmax, !fixed);
  set_status(ids.boot, fixed);
  set_status(ids.seed, fixed);
  set_status(ids.boot_type, fixed);
  // resampling the cases chooses lambda anew in every replicate
  set_status(ids.boot_lambda, fixed && plotlib::gwglis(ids.boot_type) != 2);
}

void activate(int /*id*/) {
  *current_option = plotlib::gwglis(ids.opt);
  show_option(*current_option);
}

void bootstrap_type_change(int /*id*/) {
  if (plotlib::gwglis(ids.boot_type) == 2) plotlib::swglis(ids.boot_lambda, 2);
  show_option(*current_option);
}

// The iteration settings matter only for the binomial and Poisson models.
void modelchange(int /*id*/) {
  bool glm = plotlib::gwglis(ids.mod) != 1;
  set_status(ids.stop, glm);
  set_status(ids.maxit, glm);
}

// File > Import table: the data file written becomes the dialog's, with the structure and covariate
// choice its columns ask for.
void import_into_dialog(DialogValues& v) {
  const std::optional<ImportedTable> imported = run_import_window(v.options);
  if (!imported) return;
  plotlib::swgtxt(ids.fil, imported->data_file);
  plotlib::swglis(ids.str, imported->has_n ? 1 : 2);
  plotlib::swglis(ids.cov, !imported->has_c ? 1 : imported->categorical ? 3 : 2);
  // the column names the import gave as axis titles, which OK reads back from the title fields
  plotlib::swgtxt(ids.x_title, v.options.x_label);
  plotlib::swgtxt(ids.y_title, v.options.y_label);
}

}  // namespace

bool run_dialog(DialogValues& v) {
  current_option = &v.iopt;
  plotlib::swgtit("User settings for TROV");
  plotlib::swgwth(35);
  plotlib::swgpop("NOHELP");
  int main_widget = plotlib::wgini("HORI");
  int left = plotlib::wgbas(main_widget, "VERT");
  int right = plotlib::wgbas(main_widget, "VERT");

  plotlib::wglab(left, "Program option:");
  ids.opt = plotlib::wglis(left, "fixed lambda|range of lambdas", v.iopt);
  plotlib::wglab(right, "Model:");
  ids.mod = plotlib::wglis(right, "normal|binomial|Poisson", v.model);
  plotlib::wglab(right, "Covariate information:");
  ids.cov = plotlib::wglis(right, "none|continuous|category", v.icov);
  plotlib::wglab(right, "Data file name:");
  ids.fil = plotlib::wgfil(right, "Change data file", v.datfil, "*.*");
  ids.import_entry = plotlib::wgmenu(right, "Import table...", FL_CTRL + 't');
  plotlib::swgcbk(ids.import_entry, [&v](int) { import_into_dialog(v); });
  ids.details_entry = plotlib::wgmenu(right, "Details of the last run...", FL_CTRL + 'd');
  plotlib::swgcbk(ids.details_entry, [results = std::filesystem::absolute("trov.json").string()](int) {
    show_details(details_text(results));
  });
  plotlib::wglab(right, "Data file structure:");
  ids.str = plotlib::wglis(right, "Y X [C] N|Y X [C]", v.icol);
  // after a grid the fixed lambda offered is its recommended one, so that "fixed lambda" and OK fit that
  // curve
  const bool suggest = v.iopt == 2 && !v.suggested_lambda.empty();
  ids.fix =
      plotlib::wgltxt(left, label::fixed, suggest ? v.suggested_lambda : without_trailing_blanks(v.lmin), 20);
  ids.lmin =
      plotlib::wgltxt(left, label::smallest, v.iopt == 1 ? "-10" : without_trailing_blanks(v.lmin), 20);
  ids.lmax = plotlib::wgltxt(left, label::largest, without_trailing_blanks(v.lmax), 20);
  ids.step =
      plotlib::wgltxt(left, label::number, v.iopt == 1 ? "21" : without_trailing_blanks(v.nstep_text), 20);
  ids.boot = plotlib::wgltxt(left, label::boot, without_trailing_blanks(v.iboot), 20);
  ids.seed = plotlib::wgltxt(left, label::seed, without_trailing_blanks(v.seed), 30);
  plotlib::wglab(left, "Bootstrap resamples:");
  ids.boot_type = plotlib::wglis(left, kBootstrapTypeItems, static_cast<int>(v.options.bootstrap_type) + 1);
  plotlib::wglab(left, "Bootstrap lambda:");
  ids.boot_lambda =
      plotlib::wglis(left, kBootstrapLambdaItems, static_cast<int>(v.options.bootstrap_lambda) + 1);
  // the figures' axis titles; empty: the defaults by model
  ids.x_title = plotlib::wgltxt(left, label::x_title, v.options.x_label, 50);
  ids.y_title = plotlib::wgltxt(left, label::y_title, v.options.y_label, 50);
  show_option(v.iopt);
  plotlib::swgcbk(ids.opt, activate);
  plotlib::swgcbk(ids.boot_type, bootstrap_type_change);
  plotlib::wglab(right, "Binomial/Poisson glm settings:");
  ids.stop = plotlib::wgltxt(right, label::tolerance, without_trailing_blanks(v.stop), 20);
  ids.maxit = plotlib::wgltxt(right, label::iterations, without_trailing_blanks(v.maxit), 20);
  set_status(ids.stop, v.model != 1);
  set_status(ids.maxit, v.model != 1);
  plotlib::swgcbk(ids.mod, modelchange);
  plotlib::wglab(right, "Lambda chosen by (converged fits):");
  ids.criterion = plotlib::wglis(right, kCriterionItems, static_cast<int>(v.options.criterion) + 1);
  plotlib::wglab(left, "Output file name:");
  ids.out = plotlib::wgtxt(left, v.outfil);
  ids.ok = plotlib::wgok(left);
  ids.quit = plotlib::wgquit(left);
  if (plotlib::wgfin() == plotlib::DialogEnd::quit) return false;

  DialogEntries entries;
  entries.covariate = plotlib::gwglis(ids.cov);
  entries.fixed = plotlib::gwgtxt(ids.fix);
  entries.smallest = plotlib::gwgtxt(ids.lmin);
  entries.largest = plotlib::gwgtxt(ids.lmax);
  entries.number = plotlib::gwgtxt(ids.step);
  entries.iterations = plotlib::gwgtxt(ids.maxit);
  entries.tolerance = plotlib::gwgtxt(ids.stop);
  entries.model = plotlib::gwglis(ids.mod);
  entries.structure = plotlib::gwglis(ids.str);
  entries.boot = plotlib::gwgtxt(ids.boot);
  entries.seed = plotlib::gwgtxt(ids.seed);
  entries.data_file = plotlib::gwgfil(ids.fil);
  entries.output_file = plotlib::gwgtxt(ids.out);
  entries.criterion = plotlib::gwglis(ids.criterion);
  entries.bootstrap_lambda = plotlib::gwglis(ids.boot_lambda);
  entries.bootstrap_type = plotlib::gwglis(ids.boot_type);
  entries.x_title = plotlib::gwgtxt(ids.x_title);
  entries.y_title = plotlib::gwgtxt(ids.y_title);
  take_back(entries, v);
  return true;
}

std::vector<std::pair<std::string_view, int>> dialog_widgets() {
  return {{"option_list", ids.opt},
          {"model_list", ids.mod},
          {"covariate_list", ids.cov},
          {"data_file", ids.fil},
          {"structure_list", ids.str},
          {"fixed_lambda", ids.fix},
          {"smallest_lambda", ids.lmin},
          {"largest_lambda", ids.lmax},
          {"number_of_lambdas", ids.step},
          {"bootstrap_replicates", ids.boot},
          {"random_seed", ids.seed},
          {"tolerance", ids.stop},
          {"max_iterations", ids.maxit},
          {"output_file", ids.out},
          {"criterion_list", ids.criterion},
          {"bootstrap_type_list", ids.boot_type},
          {"bootstrap_lambda_list", ids.boot_lambda},
          {"x_title", ids.x_title},
          {"y_title", ids.y_title},
          {"ok", ids.ok},
          {"quit", ids.quit}};
}

}  // namespace trov::front
