// The commands only the command line offers: they look for a camera or
// list what the machine has (search, grabbers, ports), or read further
// commands (shell).
#include "command_line_only.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

#include "camera_commands.h"
#include "command_help.h"
#include "host_lines.h"
#include "ports_command.h"
#include "shell.h"

namespace vexq4::cli {

void DefineSearch(CLI::App& cmd, Plan& plan, const std::string&) {
  auto ports = std::make_shared<std::vector<int>>();
  cmd.add_option("FIRST LAST", *ports, "port range")->expected(0, 2);
  cmd.footer(hosts::WithNames(
                 "\nThe ports are tried in increasing order (COM n: $VEXQ4_COM<n>, else\n"
                 "/dev/ttyS<n-1>); the first that answers is printed as {port}=N. No other\n"
                 "connection option is needed: asking for the search names these ports.\n"
                 "With --sim or --device PATH only that line is tried, as COM port FIRST for\n"
                 "this run: the search then tells whether a camera answers there.\n") +
             Footer("", "  vexq4 search\n  vexq4 search 3 4\n  vexq4 --sim search\n"));
  cmd.callback([&plan, ports] {
    constexpr hosts::NumberRange searched = hosts::kSearchedComPorts;
    const int first = ports->size() > 0 ? (*ports)[0] : searched.first;
    const int last = ports->size() > 1 ? (*ports)[1] : (ports->size() == 1 ? first : searched.last);
    if (!searched.Contains(first) || !searched.Contains(last) || last < first)
      throw CLI::ValidationError("search: Only COM " + searched.Text() + " is valid");
    plan.name = "search";
    plan.needsCamera = false;
    plan.isSearch = true;
    plan.searchFirst = first;
    plan.searchLast = last;
    plan.run = [&plan](Host& h) { return RunSearch(h, plan.searchFirst, plan.searchLast); };
  });
}

void DefineGrabbers(CLI::App& cmd, Plan& plan, const std::string&) {
  cmd.footer(Footer("", "  vexq4 grabbers\n  vexq4 --grabber 1 identity\n"));
  cmd.callback([&plan] {
    plan.name = "grabbers";
    plan.needsCamera = false;
    plan.run = RunGrabbers;
  });
}

void DefinePorts(CLI::App& cmd, Plan& plan, const std::string&) {
  auto options = std::make_shared<PortsOptions>();
  auto format = std::make_shared<std::string>("text");
  cmd.add_flag("--probe", options->probe,
               "ask each port this user may open and nobody holds for the camera; adds its "
               "CameraID and ModelName");
  cmd.add_option("--format", *format, "text (one line a port, the default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  cmd.footer(
      "\nOne line a port: the device, its names under /dev/serial/by-id and by-path,\n"
      "driver, usb=VENDOR:PRODUCT, serial number, manufacturer and product where the\n"
      "kernel knows them, access=yes|no (with why and a hint: the dialout group),\n"
      "held-by=PID:NAME when another process has it open, console=yes for the\n"
      "kernel's console (never probed). Hints about ModemManager and brltty go to\n"
      "standard error. Nothing is opened without --probe. Names and values that are\n"
      "not a plain word are quoted, control characters in them printed as '?'. JSON\n"
      "is UTF-8: each byte of the kernel's strings that is not well-formed UTF-8\n"
      "becomes \\ufffd (U+FFFD).\n"
      "VEXQ4_SYSFS_ROOT=DIR reads sys/, dev/, proc/ and etc/ below DIR instead of /\n"
      "(for tests).\n" +
      Footer("", "  vexq4 ports\n  vexq4 ports --probe\n  vexq4 ports --format json\n"));
  cmd.callback([&plan, options, format] {
    options->json = *format == "json";
    plan.name = "ports";
    plan.needsCamera = false;
    plan.isPorts = true;
    plan.run = [options](Host& h) { return RunPorts(h, *options, SystemRoot()); };
  });
}

void DefineShell(CLI::App& cmd, Plan& plan, const std::string&) {
  cmd.footer(hosts::WithNames(
                 "\nEach line is a command as above without 'vexq4' and the connection options,\n"
                 "e.g. 'set {GA}=100'. Quotes work as in a shell; '#' starts a\n"
                 "comment. A failing line is reported and the next one runs. 'quit' or the\n"
                 "end of input (Ctrl-D) ends. On a terminal there is a prompt, lines can be\n"
                 "edited (arrow keys, Ctrl-R) with a history, and Ctrl-C abandons the command\n"
                 "under way and returns to the prompt.\n") +
             Footer("", "  printf 'set {GA}=50\\nget {GA}\\n' | vexq4 --sim shell\n"));
  cmd.callback([&plan] {
    plan.name = "shell";
    plan.isShell = true;
    plan.run = [](Host& h) { return RunShell(h, stdin); };
  });
}

}  // namespace vexq4::cli
