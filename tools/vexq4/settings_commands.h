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

// Adds diff and apply as subcommands of `app`.
void AddSettingsFileCommands(CLI::App& app, Plan& plan, bool inShell);

// After a load of `file`: reads back everything the file holds and prints
// each difference as diff does. 0 the same, 1 different or a failed read.
int VerifyLoad(Host& host, const std::string& file);
// After a write-all of `sent` (model::WriteAllTargets before it): the same,
// with sent= for the values written.
int VerifyWriteAll(Host& host, const std::vector<model::Target>& sent);

}  // namespace vexq4::cli
