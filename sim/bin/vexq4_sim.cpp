// vexq4-sim: a simulated RX-Q4 on a pseudo-terminal.
//
// Prints the device path to open on its first line, then serves until
// SIGINT, SIGTERM or SIGHUP. Point the software at it with VEXQ4_COM<n>=<path>.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "vexq4/sim/pty_server.h"

namespace {

// The first stop signal; it decides the exit status.
volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnSignal(int sig) {
  if (g_stop == 0) g_stop = sig;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// Applies "MNEMONIC=VALUE" to the working settings and the identity.
std::string ApplySetting(vexq4::sim::Config& config, const std::string& item) {
  const auto eq = item.find('=');
  if (eq == std::string::npos) return "expected MNEMONIC=VALUE, got '" + item + "'";
  const std::string mnemonic = item.substr(0, eq);
  const std::string value = item.substr(eq + 1);
  auto& id = config.identity;
  if (mnemonic == "ID") {
    id.cameraId = value;
    return {};
  }
  if (mnemonic == "MD") {
    id.modelName = value;
    return {};
  }
  if (mnemonic == "UD") {
    id.userId = value;
    return {};
  }
  const auto number = ParseInt(value);
  if (!number) return "'" + value + "' is not a number (in '" + item + "')";
  if (mnemonic == "VN") {
    id.firmwareVersion = *number;
    return {};
  }
  if (mnemonic == "EA") {
    if (*number < 0 || *number >= vexq4::sim::kAreas) return "EA must be 0 to 3";
    id.eepromArea = *number;
    return {};
  }
  if (mnemonic == "AWRS") {
    if (*number < 0) return "AWRS must not be negative";
    config.onePushResult = static_cast<std::uint32_t>(*number);
    return {};
  }
  if (!vexq4::sim::IsStoredSetting(mnemonic)) return "unknown mnemonic '" + mnemonic + "'";
  config.values[mnemonic] = *number;
  return {};
}

// Applies "N:MNEMONIC=VALUE" to area N.
std::string ApplyAreaSetting(vexq4::sim::Config& config, const std::string& item) {
  const auto colon = item.find(':');
  const auto eq = item.find('=');
  if (colon == std::string::npos || eq == std::string::npos || eq < colon) {
    return "expected N:MNEMONIC=VALUE, got '" + item + "'";
  }
  const auto area = ParseInt(std::string_view(item).substr(0, colon));
  if (!area || *area < 0 || *area >= vexq4::sim::kAreas) {
    return "area must be 0 to 3 (in '" + item + "')";
  }
  const std::string mnemonic = item.substr(colon + 1, eq - colon - 1);
  if (!vexq4::sim::IsStoredSetting(mnemonic)) return "unknown mnemonic '" + mnemonic + "'";
  const auto value = ParseInt(std::string_view(item).substr(eq + 1));
  if (!value) return "not a number in '" + item + "'";
  config.areas[*area][mnemonic] = *value;
  return {};
}

constexpr char kExamples[] = R"(
Examples:
  vexq4-sim
      Serve a camera with factory settings; the first output line is the
      device path, e.g. /dev/pts/7.
  vexq4-sim --link /tmp/rxq4 --log &
  export VEXQ4_COM1=/tmp/rxq4
      Serve behind a fixed path, to be opened as COM port 1 by the
      software started from this shell; each line the camera receives is
      logged on standard error.
  vexq4-sim --set GA=100 --set WB=0 --area 1:GA=50 --user-id LINE7
      Start with master gain 100, manual white balance, user area 1
      holding gain 50, and the user ID "LINE7".
  vexq4-sim --echo --latency 20 --late 700
      Acknowledge commands with the echo line and answer 720 ms late
      (past the host's 600 ms time-out).
  vexq4-sim --corrupt-shading --one-push-result 2
      Send a shading frame with a bad checksum; a one-push white balance
      reports "Too Dark".

Lines the camera does not take (unknown mnemonic, query of a set-only code,
bad number, empty line, SA=0, a shading frame with a bad checksum) are
answered "ERROR" with CR LF.

Exit status: 0 after --exit-after-lines; 128 + the signal after SIGINT (130),
SIGTERM (143) or SIGHUP (129), also when the signal came while the last lines
went out; 1 if the pseudo-terminal or the link cannot be made; 2 for bad
options.)";

// What the command line sets beside the configuration itself.
struct Options {
  std::vector<std::string> sets, areaSets;
  std::string link;
  std::optional<std::string> cameraId, modelName, userId;
  std::optional<int> firmware, eepromArea;
  bool echo = false, noPacing = false, logLines = false;
  std::optional<std::uint32_t> latency, autoShadingMs, onePush;
  std::size_t exitAfterLines = 0;
};

void AddCameraOptions(CLI::App& app, Options& o) {
  app.add_option("--link", o.link,
                 "Also make a symbolic link PATH to the device (replaces an existing "
                 "link, never a file; removed on exit)")
      ->type_name("PATH");
  app.add_option("--set", o.sets,
                 "Initial working value, MNEMONIC=VALUE (repeatable); any setting "
                 "(GA, WB, KSR, WPB3, ...), or ID, MD, UD (text), VN, EA, AWRS")
      ->type_name("MNEMONIC=VALUE");
  app.add_option("--area", o.areaSets,
                 "Contents of an area, N:MNEMONIC=VALUE (repeatable); N is 0 factory, "
                 "1-3 user areas; unset values are the factory defaults")
      ->type_name("N:MNEMONIC=VALUE");
  app.add_option("--camera-id", o.cameraId, "Camera ID answered to ID? (default 10042)");
  app.add_option("--model-name", o.modelName, "Model name answered to MD? (default RX-Q4CL)");
  app.add_option("--user-id", o.userId, "User ID answered to UD? (default empty)");
  app.add_option("--firmware-version", o.firmware,
                 "Firmware version answered to VN? (default 120)");
  app.add_option("--eeprom-area", o.eepromArea,
                 "Area last used (EA?), 0-3; the working values start from it (default 0)")
      ->check(CLI::Range(0, 3));
  app.add_flag("--echo", o.echo, "Acknowledge commands with \"XX=value\" before \"COMPLETE\"");
  app.add_flag("--no-pacing", o.noPacing, "Send each reply at once instead of at 9600 baud");
  app.add_option("--latency", o.latency, "Milliseconds before a reply starts (default 5)")
      ->type_name("MS");
  app.add_option("--auto-shading-ms", o.autoShadingMs,
                 "Milliseconds auto shading (ATSH) takes before COMPLETE (default 4000)")
      ->type_name("MS");
  app.add_option("--one-push-result", o.onePush,
                 "What AWRS? answers after AW=0, 0-6 (0 Complete measures the gains)")
      ->check(CLI::Range(0, 6));
}

void AddFaultOptions(CLI::App& app, vexq4::sim::Faults& faults) {
  auto* faultGroup = app.add_option_group("Faults", "Faults the replies carry");
  faultGroup->add_flag("--silent", faults.silent, "Answer nothing at all");
  faultGroup->add_flag("--garble", faults.garble, "Replace reply bytes by noise (CR LF kept)");
  faultGroup->add_flag("--truncate", faults.truncate, "Cut every reply line before its CR LF");
  faultGroup->add_flag("--echo-query", faults.echoQuery,
                       "Echo each query (\"SH?\") before its answer");
  faultGroup->add_flag("--overlong", faults.overlongLine, "Answer 150 bytes without CR LF");
  faultGroup->add_flag("--corrupt-shading", faults.corruptShading,
                       "Flip one value byte of the shading frame sent");
  faultGroup->add_flag("--short-shading", faults.shortShading,
                       "Send only the first 1000 bytes of the shading frame");
  faultGroup->add_flag("--reject-commands", faults.rejectCommands,
                       "Answer every command with ERROR (queries still answered)");
  faultGroup->add_option("--late", faults.lateReplyMs, "Extra milliseconds before every reply")
      ->type_name("MS");
  faultGroup
      ->add_option("--late-spread", faults.lateReplySpreadMs,
                   "Each reply line a further 0 to MS milliseconds late, at random")
      ->type_name("MS");
  faultGroup
      ->add_option("--reject-one-in", faults.rejectOneIn,
                   "Refuse a command with ERROR by chance, one in N (1: every one)")
      ->type_name("N");
}

void AddRunOptions(CLI::App& app, Options& o) {
  app.add_flag("--log", o.logLines, "Log each received line on standard error with the time");
  app.add_option("--exit-after-lines", o.exitAfterLines,
                 "Exit once N lines were received and answered (for scripts and tests)")
      ->type_name("N");
}

// Puts the options into the configuration; false after saying why not.
bool Configure(const Options& o, vexq4::sim::Config& config) {
  if (o.echo) config.shape = vexq4::sim::ReplyShape::kEchoThenComplete;
  if (o.noPacing) config.paceAt9600 = false;
  if (o.latency) config.replyLatencyMs = *o.latency;
  if (o.autoShadingMs) config.autoShadingMs = *o.autoShadingMs;
  if (o.onePush) config.onePushResult = *o.onePush;
  for (const auto& item : o.sets) {
    if (auto why = ApplySetting(config, item); !why.empty()) {
      std::cerr << "vexq4-sim: --set: " << why << "\n";
      return false;
    }
  }
  for (const auto& item : o.areaSets) {
    if (auto why = ApplyAreaSetting(config, item); !why.empty()) {
      std::cerr << "vexq4-sim: --area: " << why << "\n";
      return false;
    }
  }
  if (o.cameraId) config.identity.cameraId = *o.cameraId;
  if (o.modelName) config.identity.modelName = *o.modelName;
  if (o.userId) config.identity.userId = *o.userId;
  if (o.firmware) config.identity.firmwareVersion = *o.firmware;
  if (o.eepromArea) config.identity.eepromArea = *o.eepromArea;
  return true;
}

void InstallStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);  // its terminal closed: remove the link too
}

namespace fs = std::filesystem;

// --link: the link to the device, replacing an older link; false after
// saying why not.
bool MakeLink(const std::string& link, const std::string& device) {
  std::error_code ec;
  const auto status = fs::symlink_status(link, ec);
  if (fs::exists(status) && !fs::is_symlink(status)) {
    std::cerr << "vexq4-sim: --link: " << link << " exists and is not a link\n";
    return false;
  }
  if (fs::is_symlink(status)) fs::remove(link, ec);
  fs::create_symlink(device, link, ec);
  if (ec) {
    std::cerr << "vexq4-sim: --link: " << link << ": " << ec.message() << "\n";
    return false;
  }
  return true;
}

// Removes the link if it still points at the device.
void RemoveLink(const std::string& link, const std::string& device) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(link, ec)) &&
      fs::read_symlink(link, ec) == fs::path(device)) {
    fs::remove(link, ec);
  }
}

// Waits for a signal or the line count; the server thread does the work.
void ServeUntilStopped(vexq4::sim::PtyServer& server, std::size_t exitAfterLines) {
  constexpr int kTickMs = 50;
  while (!g_stop) {
    if (exitAfterLines > 0 && server.linesReceived() >= exitAfterLines) {
      // Let the last answer go out (a frame takes 1.6 s; bounded at 15 s).
      for (int i = 0; i < 300 && !g_stop && server.camera()->PendingBytes() > 0; ++i) {
        poll(nullptr, 0, kTickMs);
      }
      poll(nullptr, 0, 200);  // and reach the client
      break;
    }
    poll(nullptr, 0, kTickMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  vexq4::sim::Config config;
  Options o;
  CLI::App app{
      "Simulated RX-Q4 camera on a pseudo-terminal. Prints the device path on "
      "its first line and serves until SIGINT, SIGTERM or SIGHUP.",
      "vexq4-sim"};
  app.footer(kExamples);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "vexq4-sim: " + std::string(e.what()) + "\nRun with --help for more information.\n";
  });
  AddCameraOptions(app, o);
  AddFaultOptions(app, config.faults);
  AddRunOptions(app, o);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 2;
  }
  if (!Configure(o, config)) return 2;

  InstallStopSignals();
  vexq4::sim::PtyServer server(config);
  if (o.logLines) server.SetLog(&std::cerr);
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << "vexq4-sim: cannot open a pseudo-terminal: " << error << "\n";
    return 1;
  }
  if (!o.link.empty() && !MakeLink(o.link, server.slavePath())) return 1;

  std::cout << server.slavePath() << std::endl;
  ServeUntilStopped(server, o.exitAfterLines);
  server.Stop();
  if (!o.link.empty()) RemoveLink(o.link, server.slavePath());
  return g_stop != 0 ? 128 + g_stop : 0;
}
