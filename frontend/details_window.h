#pragma once
// File > Details of the last run: what trov.json says beyond the plot. The run, its answer, the
// dispersion and the gradients, and every warning by its kind: those of the classic fits (the numbers of
// trov.out, which the plots leave aside) apart from the others, kinds this program does not know among
// them.
#include <string>

namespace trov::front {

// The text of the details of the run whose trov.json is at `path`: of a run with results, of one that
// stopped on an error (its message and the advice for it), or that there is none.
std::string details_text(const std::string& path);

// A window that shows the text until Close, Return, Escape or its close box.
void show_details(const std::string& text);

}  // namespace trov::front
