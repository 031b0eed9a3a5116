// A dialog laid out like the front end's settings dialog. It prints every message, every callback and,
// when the dialog returns, "quit" or what the widget layer hands back, so that a script driving it can
// check them.
// Argument: the model list's start item (default 2). PROBE_PICK names the file the chooser "picks".
#include <FL/Fl_Widget.H>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "plotlib/widgets/widget_access.h"
#include "plotlib/widgets/widgets.h"

using namespace plotlib;

namespace {

int idopt, idmod, idfix, idlmin, idlmax, idstep, idboot, idseed, idstop, idmaxit;
int iopt = 2, model = 2;

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

const char* state_of(int id) {
  const Fl_Widget* w = widget_of(id);
  return !w->visible() ? "invisible" : w->active() ? "active" : "inactive";
}

// Both halves of a labelled text.
std::string halves(int id) { return std::string(state_of(id - 1)) + "/" + state_of(id); }

void set_status(int id, bool active) { swgatt(id, active ? "active" : "inactive", "status"); }

void activate(int) {
  iopt = gwglis(idopt);
  set_status(idfix, iopt == 1);
  set_status(idstep, iopt == 2);
  set_status(idlmin, iopt == 2);
  set_status(idlmax, iopt == 2);
  set_status(idboot, iopt == 1);
  set_status(idseed, iopt == 1);
  say("activate " + std::to_string(iopt) + " fixed " + halves(idfix) + " smallest " + halves(idlmin));
}

void modelchange(int) {
  model = gwglis(idmod);
  set_status(idstop, model != 1);
  set_status(idmaxit, model != 1);
  say("modelchange " + std::to_string(model));
}

void geometry(const char* name, int id) {
  const Fl_Widget* w = widget_of(id);
  say("geometry " + std::string(name) + " " + std::to_string(w->x()) + " " + std::to_string(w->y()) + " " +
      std::to_string(w->w()) + " " + std::to_string(w->h()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) model = std::atoi(argv[1]);
  set_message_sink([](std::string_view caption, std::string_view text) {
    say("message " + std::string(caption) + ": " + std::string(text));
  });
  set_file_chooser([](std::string_view, std::string_view) -> std::optional<std::string> {
    const char* pick = std::getenv("PROBE_PICK");
    if (!pick) return std::nullopt;
    return std::string(pick);
  });

  swgtit("User settings for TROV");
  swgwth(35);
  swgpop("NOHELP");
  const int main_id = wgini("HORI");
  const int left = wgbas(main_id, "VERT"), right = wgbas(main_id, "VERT");
  wglab(left, "Program option:");
  idopt = wglis(left, "fixed lambda|range of lambdas", iopt);
  wglab(right, "Model:");
  idmod = wglis(right, "normal|binomial|Poisson", model);
  wglab(right, "Covariate information:");
  const int idcov = wglis(right, "none|continuous|category", 1);
  wglab(right, "Data file name:");
  const int idfil = wgfil(right, "Change data file", "demo1.dat", "*.*");
  wglab(right, "Data file structure:");
  const int idstr = wglis(right, "Y X [C] N|Y X [C]", 2);
  idfix = wgltxt(left, "Enter fixed lambda", "-10", 20);
  idlmin = wgltxt(left, "Smallest lambda of range", "-10", 20);
  idlmax = wgltxt(left, "Largest lambda of range", " 10", 20);
  idstep = wgltxt(left, "Number of lambdas in range", " 21", 20);
  idboot = wgltxt(left, "No. bootstrap replicates", "0", 20);
  idseed = wgltxt(left, "Random number seed", "2387498", 30);
  activate(idopt);
  swgcbk(idopt, activate);
  wglab(right, "Binomial/Poisson glm settings:");
  idstop = wgltxt(right, "convergence tolerance", "0.005", 20);
  idmaxit = wgltxt(right, "maximum no. iterations", "5", 20);
  set_status(idstop, model != 1);
  set_status(idmaxit, model != 1);
  swgcbk(idmod, modelchange);
  wglab(left, "Output file name:");
  const int idout = wgtxt(left, "trov.out");
  const int idok = wgok(left);
  wgquit(left);

  geometry("option", idopt);
  geometry("model", idmod);
  geometry("output", idout);
  geometry("ok", idok);
  if (wgfin() == DialogEnd::quit) {
    say("quit");
    return 0;
  }

  say("returned");
  say("option " + std::to_string(gwglis(idopt)) + " model " + std::to_string(gwglis(idmod)) + " covariate " +
      std::to_string(gwglis(idcov)) + " structure " + std::to_string(gwglis(idstr)));
  for (auto [name, id] : {std::pair{"fixed", idfix},
                          {"smallest", idlmin},
                          {"largest", idlmax},
                          {"number", idstep},
                          {"boot", idboot},
                          {"seed", idseed},
                          {"tolerance", idstop},
                          {"iterations", idmaxit},
                          {"output", idout}})
    say(std::string(name) + " [" + gwgtxt(id) + "]");
  say("output length " + std::to_string(gwgtxt(idout).size()));
  say("file [" + gwgfil(idfil) + "]");
  return 0;
}
