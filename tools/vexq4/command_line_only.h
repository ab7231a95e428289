// The commands only the command line offers (commands.h has their rows):
// search, grabbers, ports and shell.
#pragma once

#include <string>

#include "commands.h"

namespace vexq4::cli {

void DefineSearch(CLI::App& command, Plan& plan, const std::string& vexq4);
void DefineGrabbers(CLI::App& command, Plan& plan, const std::string& vexq4);
void DefinePorts(CLI::App& command, Plan& plan, const std::string& vexq4);
void DefineShell(CLI::App& command, Plan& plan, const std::string& vexq4);

}  // namespace vexq4::cli
