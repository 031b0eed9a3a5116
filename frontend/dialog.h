#pragma once

#include "frontend/settings_file.h"

namespace trov::front {

// Shows the settings dialog with the held values and waits. OK (and the close box) take the values
// back into `values` in the order trov.in is written; Quit ends the program with status 0.
void run_dialog(DialogValues& values);

}  // namespace trov::front
