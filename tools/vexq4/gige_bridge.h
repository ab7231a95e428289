// vexq4 gige-bridge: each camera served as a GigE Vision control device
// (genicam/README.md), until SIGINT or SIGTERM.
#pragma once

namespace CLI {
class App;
}

namespace vexq4::cli {

struct Plan;

// Adds the gige-bridge command; the one parsed fills `plan.serve`.
void AddGigeBridgeCommand(CLI::App& app, Plan& plan);

}  // namespace vexq4::cli
