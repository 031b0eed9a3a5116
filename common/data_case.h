#pragma once
// One case of a data file as both programs read it: free form, each case a statement of its own (the
// rest of its last line passed over, a case over line breaks where a line holds too few values).
#include "common/list_reader.h"

namespace trov {

struct DataCase {
  double y = 0, x = 0, c = 0;  // the covariate c where the structure has one
  int n = 1;                   // the count N where the structure has one
};

// Reads the next case: Y and X, then the covariate and the count where the structure has them.
ListReader::Result read_case(ListReader& cases, bool has_c, bool has_n, DataCase& c);

}  // namespace trov
