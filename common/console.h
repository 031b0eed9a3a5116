#pragma once

#include <string_view>

#include "common/list_writer.h"

namespace trov {

// Writes one list-directed statement to standard output and flushes it, so that console messages
// appear in order with the error stop's prompt and reach a front end that reads them as they come.
void say(const ListWriter& statement);
// Writes finished records (from format_record) to standard output and flushes them.
void say(std::string_view records);

}  // namespace trov
