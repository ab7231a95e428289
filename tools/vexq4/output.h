// Standard output of the host: the results. A write that fails (a full
// disk, a device that takes nothing) must not pass as a success, so every
// failure is remembered and the program ends with status 1.
#pragma once

#include <string>
#include <string_view>

namespace vexq4::cli {

// `line` and a line end, flushed at once (results of a slow camera appear
// as they come).
void PrintLine(std::string_view line);
// `text` as it is (help texts, the prompt), flushed.
void PrintText(std::string_view text);

// Flushes standard output; false when this or any earlier write failed,
// with the system's text of the first failure in `error`.
bool FinishOutput(std::string& error);

}  // namespace vexq4::cli
