#include "common/console.h"

#include <iostream>

namespace trov {

void say(const ListWriter& statement) { say(statement.str()); }

void say(std::string_view records) { std::cout << records << std::flush; }

}  // namespace trov
