#include "common/data_case.h"

namespace trov {

ListReader::Result read_case(ListReader& cases, bool has_c, bool has_n, DataCase& c) {
  if (has_c) return has_n ? cases.read({&c.y, &c.x, &c.c, &c.n}) : cases.read({&c.y, &c.x, &c.c});
  return has_n ? cases.read({&c.y, &c.x, &c.n}) : cases.read({&c.y, &c.x});
}

}  // namespace trov
