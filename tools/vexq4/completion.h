// What the shell may complete on a vexq4 command line, asked of the program
// itself (`vexq4 --complete INDEX WORD...`, hidden), so that the shell's
// completion knows the commands, options, settings and list texts of the
// program it runs, never a copy of them.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vexq4::cli {

// The candidates for words[current] (words without the program's name; an
// index past the end is an empty word), one a line. Setting names after
// `set` end in '=', list settings complete their texts after NAME=. A line
// "!files" asks the shell to add file names, "!nospace" to add no blank
// after the word.
std::vector<std::string> Completions(const CLI::App& app, const std::vector<std::string>& words,
                                     std::size_t current);

// argv[0] vexq4, argv[1] --complete, argv[2] the index, then the words:
// prints the candidates on standard output; 0, or 2 for a malformed call.
int RunCompletion(const CLI::App& app, int argc, char** argv);

}  // namespace vexq4::cli
