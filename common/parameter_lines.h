#pragma once
// The 13 lines of the parameter file trov.in: the value each line holds, how the value is written
// before the line's comment, and how it is read and turned into its setting. The one description for
// every program that writes or reads the file.
#include <array>
#include <cstddef>
#include <string_view>

namespace trov {

// How a value stands at the start of its line.
enum class ValueForm {
  field,    // a text field of 10 columns; the comment follows in column 11 with no separator
  integer,  // list-directed: a blank, the digits, then 8 blanks before the comment
  name,     // the data file name from column 1, blank-padded to 100 columns (a longer name whole)
};

// How the value is read by the list-directed rules and what becomes of it.
enum class Reading {
  integer,     // an integer; a decimal point or an exponent is a read error
  real,        // a single-precision real, kept
  truncated,   // a single-precision real, truncated toward zero
  rounded,     // a single-precision real, rounded to nearest with halves away from zero
  whole_line,  // the whole next line, trailing blanks removed
};

struct ParameterLine {
  std::string_view setting;  // the setting's name
  ValueForm form;
  Reading reading;
  std::string_view comment;  // the text after the value
};

inline constexpr std::size_t kFieldColumns = 10;
inline constexpr std::size_t kNameColumns = 100;
inline constexpr int kParameterCount = 10;  // the count on line 1: the parameter lines that follow it

// Positions in kParameterLines, in file order (line k of the file is index k - 1).
namespace parameter_line {
enum : std::size_t { count, M, catcov, nstep, lmin, lmax, maxit, stop, model, icol, iboot, seed, data_file };
}

inline constexpr std::array<ParameterLine, 13> kParameterLines = {{
    {"count", ValueForm::field, Reading::integer, "SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY"},
    {"M", ValueForm::integer, Reading::truncated, "M = number of covariates (0 or 1)"},
    {"catcov", ValueForm::integer, Reading::truncated,
     "catcov = covariate is continuous (0) or category (1)"},
    {"nstep", ValueForm::field, Reading::rounded, "nstep = number of lambdas to search over"},
    {"lmin", ValueForm::field, Reading::real, "lmin = smallest ln(lambda) of search, or fixed ln(lambda)"},
    {"lmax", ValueForm::field, Reading::real, "lmax = largest ln(lambda) of search"},
    {"maxit", ValueForm::field, Reading::rounded, "maxit = max number of iterations for spline fit"},
    {"stop", ValueForm::field, Reading::real, "stop = convergence tolerance for spline fit"},
    {"model", ValueForm::integer, Reading::rounded, "model 1 = normal 2= binomial 3=poisson"},
    {"icol", ValueForm::integer, Reading::rounded, "icol 1 =third data column has #replicates, 2=not"},
    {"iboot", ValueForm::field, Reading::truncated, "iboot = Number of bootstrap replications to carry out"},
    {"seed", ValueForm::field, Reading::integer, "random number seed for bootstrapping"},
    {"data file name", ValueForm::name, Reading::whole_line, ""},
}};

// The integer setting made of a value read as a real (Reading::truncated or Reading::rounded); values
// beyond the integer range saturate. 2.5 rounds to 3 and -2.5 to -3; 1.9 truncates to 1, -0.7 to 0.
int integer_setting(Reading reading, float value);

}  // namespace trov
