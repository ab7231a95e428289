// diff and apply: a settings file as the truth of a camera, and the
// read-back of load-settings --verify and write-all --verify. The model
// compares and plans (vexq4/model/settings_compare.h); this prints.
#pragma once

#include <string>
#include <vector>

#include "vexq4/model/settings_compare.h"

namespace CLI {
class App;
}

namespace vexq4::cli {

class Host;
struct Plan;

// diff and apply, rows of the command table (commands.cpp): their lines of
// the command list, and the functions that give them their arguments and
// plans. `vexq4` is empty in the shell, whose examples have no program.
extern const char* const kDiffHelp;
extern const char* const kApplyHelp;
void DefineDiff(CLI::App& command, Plan& plan, const std::string& vexq4);
void DefineApply(CLI::App& command, Plan& plan, const std::string& vexq4);

// After a load of `file`: reads back everything the file holds and prints
// each difference as diff does. 0 the same, 1 different or a failed read.
int VerifyLoad(Host& host, const std::string& file);
// After a write-all of `sent` (model::WriteAllTargets before it): the same,
// with sent= for the values written.
int VerifyWriteAll(Host& host, const std::vector<model::Target>& sent);

}  // namespace vexq4::cli
