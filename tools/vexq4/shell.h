// vexq4 shell: commands read one per line, each run on the open
// connection (of one camera, or of several at once).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexq4::cli {

class Host;
class Cameras;

// Reads command lines from `in` and runs each against the open connection;
// the exit status of the last line that failed.
int RunShell(Host& host, std::FILE* in);
// The same on several cameras: each line runs on all of them at once.
int RunShell(Cameras& cameras, std::FILE* in);

// Splits one shell line into words: blanks separate, '...' and "..." quote,
// backslash escapes the next character outside single quotes. Returns
// nullopt for an unterminated quote.
std::optional<std::vector<std::string>> SplitWords(std::string_view line);

}  // namespace vexq4::cli
