#include "frontend/dialog.h"

#include <string>

#include "plotlib/widgets/widgets.h"

namespace trov::front {

namespace {

// Identifiers of the widgets the callbacks and the read-back use.
struct DialogIds {
  int opt, mod, cov, fil, str, fix, lmin, lmax, step, boot, seed, stop, maxit, out;
};

DialogIds ids;
int* current_option = nullptr;  // the held option, which the option list's callback updates

std::string without_trailing_blanks(const std::string& text) {
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string without_leading_blanks(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

void set_status(int id, bool active) { plotlib::swgatt(id, active ? "active" : "inactive", "status"); }

// Fields that belong to the option: the fixed lambda and the bootstrap, or the range.
void activate(int /*id*/) {
  int option = plotlib::gwglis(ids.opt);
  *current_option = option;
  bool fixed = option == 1;
  set_status(ids.fix, fixed);
  set_status(ids.step, !fixed);
  set_status(ids.lmin, !fixed);
  set_status(ids.lmax, !fixed);
  set_status(ids.boot, fixed);
  set_status(ids.seed, fixed);
}

// The iteration settings matter only for the binomial and Poisson models.
void modelchange(int /*id*/) {
  bool glm = plotlib::gwglis(ids.mod) != 1;
  set_status(ids.stop, glm);
  set_status(ids.maxit, glm);
}

std::string field_text(int id) { return fixed_field(plotlib::gwgtxt(id), 10); }

}  // namespace

void run_dialog(DialogValues& v) {
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
  plotlib::wglab(right, "Data file structure:");
  ids.str = plotlib::wglis(right, "Y X [C] N|Y X [C]", v.icol);
  ids.fix = plotlib::wgltxt(left, "Enter fixed lambda", without_trailing_blanks(v.lmin), 20);
  ids.lmin = plotlib::wgltxt(left, "Smallest lambda of range", v.iopt == 1 ? "-10" : without_trailing_blanks(v.lmin), 20);
  ids.lmax = plotlib::wgltxt(left, "Largest lambda of range", without_trailing_blanks(v.lmax), 20);
  ids.step =
      plotlib::wgltxt(left, "Number of lambdas in range", v.iopt == 1 ? "21" : without_trailing_blanks(v.nstep_text), 20);
  ids.boot = plotlib::wgltxt(left, "No. bootstrap replicates", without_trailing_blanks(v.iboot), 20);
  ids.seed = plotlib::wgltxt(left, "Random number seed", without_trailing_blanks(v.seed), 30);
  bool fixed = v.iopt == 1;
  set_status(ids.fix, fixed);
  set_status(ids.step, !fixed);
  set_status(ids.lmin, !fixed);
  set_status(ids.lmax, !fixed);
  set_status(ids.boot, fixed);
  set_status(ids.seed, fixed);
  plotlib::swgcbk(ids.opt, activate);
  plotlib::wglab(right, "Binomial/Poisson glm settings:");
  ids.stop = plotlib::wgltxt(right, "convergence tolerance", without_trailing_blanks(v.stop), 20);
  ids.maxit = plotlib::wgltxt(right, "maximum no. iterations", without_trailing_blanks(v.maxit), 20);
  set_status(ids.stop, v.model != 1);
  set_status(ids.maxit, v.model != 1);
  plotlib::swgcbk(ids.mod, modelchange);
  plotlib::wglab(left, "Output file name:");
  ids.out = plotlib::wgtxt(left, v.outfil);
  plotlib::wgok(left);
  plotlib::wgquit(left);
  plotlib::wgfin();

  // Take the values back in the order the parameter file is written.
  v.icov = plotlib::gwglis(ids.cov);
  v.M = v.icov == 1 ? 0 : 1;
  v.catcov = v.icov == 3 ? 1 : 0;
  if (v.iopt == 1) {
    v.nstep_text = fixed_field("1", 10);
    v.lmin = field_text(ids.fix);
  } else {
    v.nstep_text = field_text(ids.step);
    v.lmin = field_text(ids.lmin);
    v.lmax = field_text(ids.lmax);
  }
  v.maxit = field_text(ids.maxit);
  v.stop = field_text(ids.stop);
  v.model = plotlib::gwglis(ids.mod);
  v.icol = plotlib::gwglis(ids.str);
  v.iboot = v.iopt == 2 ? fixed_field("0", 10) : field_text(ids.boot);
  v.seed = field_text(ids.seed);
  v.datfil = without_trailing_blanks(without_leading_blanks(plotlib::gwgfil(ids.fil)));
  v.outfil = without_trailing_blanks(without_leading_blanks(plotlib::gwgtxt(ids.out)));
}

}  // namespace trov::front
