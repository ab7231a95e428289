// The texts of the commands' help: examples, exit statuses and the
// settings, named as the settings table names them.
#pragma once

#include <string>
#include <string_view>

namespace vexq4::cli {

// A command's footer: EXAMPLES with `examples`, where each "{vexq4}"
// becomes `vexq4` (how a command line begins) and settings are named by
// the table (hosts::WithNames), then the exit statuses.
std::string Footer(const std::string& vexq4, std::string_view examples);

// `text` with each "{vexq4}" replaced by `vexq4` and the settings named.
std::string Example(const std::string& vexq4, std::string_view text);

// The settings with their valid values and meanings, for get and set.
std::string SettingsHelp();

// What FILE is on several cameras, for the commands that write it and for
// those that read it.
std::string WritingSeveral();
std::string ReadingSeveral();

}  // namespace vexq4::cli
