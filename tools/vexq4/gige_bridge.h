// vexq4 gige-bridge: each camera served as a GigE Vision control device
// (genicam/README.md), until SIGINT or SIGTERM.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace vexq4::cli {

struct Plan;

// The command's line of the command list.
extern const char* const kGigeBridgeHelp;

// Gives the gige-bridge command its options; the one parsed fills
// `plan.serve` (a row of the command table, commands.cpp).
void DefineGigeBridge(CLI::App& command, Plan& plan, const std::string& vexq4);

}  // namespace vexq4::cli
