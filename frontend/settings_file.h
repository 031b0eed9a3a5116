#pragma once

#include <string>

#include "common/options_file.h"

namespace trov::front {

// The dialog's values. Texts are held as typed; trov.in gets each in its 10 columns (the checks refuse
// a longer number before anything is written).
struct DialogValues {
  int M = 0;                 // number of covariates (0 or 1)
  int catcov = 0;            // 0 continuous, 1 category
  int nstep = 21;            // number of lambdas, used at start-up only
  std::string nstep_text;    // "Number of lambdas in range"
  std::string lmin = "-10";  // smallest ln(lambda), or the fixed one
  std::string lmax = " 10";  // largest ln(lambda)
  std::string maxit = "5";
  std::string stop = "0.005";
  int model = 2;  // 1 normal, 2 binomial, 3 Poisson
  int icol = 2;   // 1 "Y X [C] N", 2 "Y X [C]"
  std::string iboot = "0";
  std::string seed = "2387498";
  std::string datfil = "demo1.dat";
  std::string outfil = "trov.out";  // where trov.out is copied after each run; not kept in trov.in
  std::string suggested_lambda;     // the last grid's recommended lambda, which "Enter fixed lambda" shows in
                                    // the range option; empty: the fixed ln(lambda); not kept in trov.in
  int iopt = 2;                     // 1 fixed lambda, 2 range of lambdas
  int icov = 1;                     // 1 none, 2 continuous, 3 category
  Options options;                  // the settings of trov.options
};

// One blank, the digits of the integer, blank-filled to 10 characters (21 gives " 21" and 7 blanks).
std::string afromi(int value);

// Texts are held as fixed fields: cut to their length or padded with blanks.
std::string fixed_field(const std::string& text, std::size_t length);

std::string without_trailing_blanks(const std::string& text);

// Defaults, with the derived option and covariate choice.
DialogValues default_values();

// Reads trov.in as the engine reads it: the count 10 on line 1, ten values read as reals and converted
// as the engine converts them, the seed as an integer, the whole data file name. Returns an empty text,
// or why the file cannot be used ("line 4: invalid number"); `values` then stays as it was.
std::string load_parameter_file(const std::string& path, DialogValues& values);

// Reads trov.options; without the file, the defaults. Returns an empty text, or why the file cannot be
// used ("line 2: unknown key 'colour'"); `options` then stays as it was.
std::string load_options_file(const std::string& path, Options& options);

// Writes trov.options for the held options when one differs from its default, and removes the file
// when none does, so a run always reads what the dialog shows. Returns an empty text, or why the file
// could not be written or removed.
std::string save_options_file(const std::string& path, const Options& options);

// The 13 lines of trov.in for the held values.
std::string parameter_file_text(const DialogValues& values);

// After reading trov.in: nstep at least 1, its text, and the option and covariate choices.
void derive_choices(DialogValues& values);

// What the dialog's widgets hold when it ends: list items (1-based) and field texts as shown.
struct DialogEntries {
  int covariate = 1;                             // "none|continuous|category"
  std::string fixed, smallest, largest, number;  // the lambda fields
  std::string iterations, tolerance;
  int model = 2;      // "normal|binomial|Poisson"
  int structure = 2;  // "Y X [C] N|Y X [C]"
  std::string boot, seed, data_file, output_file;
  int criterion = 1;             // "REML|ML|GCV|UBRE|OCV"
  int bootstrap_lambda = 2;      // "fixed|re-chosen per replicate"
  int bootstrap_type = 1;        // "from the fitted curve|the cases (individuals)"
  std::string x_title, y_title;  // the figures' axis titles
};

// Takes the dialog's entries into the held values in the order trov.in is written. The option is not
// read here: values.iopt is what the option list's callback stored last. In the fixed option the
// number of lambdas becomes "1" and the largest lambda keeps its text; in the range option the
// bootstrap text becomes "0". The criterion, the bootstrap's resampling and lambda and the axis titles
// (without outer blanks) go to the options; resampling the cases re-chooses lambda in every replicate.
void take_back(const DialogEntries& entries, DialogValues& values);

}  // namespace trov::front
