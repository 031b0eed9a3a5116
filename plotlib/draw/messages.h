#pragma once
// The library's message output: numbered warnings, out-of-scaling lines and the end-of-plot report.
#include <ostream>
#include <string>
#include <string_view>
#include <variant>

namespace plotlib {

// The integer or text shown after a warning, or nothing.
using WarningParameter = std::variant<std::monostate, int, std::string_view>;

// The text of warning `number` (1 to 58); empty for any other number.
std::string_view warning_text(int number);

// The line of one warning, without line end. Numbers from 101 on carry `own_text`.
std::string warning_line(int number, std::string_view routine, WarningParameter parameter,
                         std::string_view own_text = {});

// The line for a curve point outside the axis scaling, without line end.
std::string out_of_scaling_line(float x, float y);

// Where messages go: standard output unless redirected (nullptr restores standard output).
void set_message_stream(std::ostream* out);
std::ostream& message_stream();

// Writes text to the message output as it stands and flushes.
void write_message(std::string_view text);

}  // namespace plotlib
