#include "shell.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <memory>
#include <sstream>

#include "camera_names.h"
#include "cameras.h"
#include "commands.h"
#include "exit_status.h"
#include "line_reader.h"
#include "output.h"
#include "signals.h"

namespace vexq4::cli {
namespace {

// "vexq4> ", or "vexq4 (off-line)> " while the camera is (several: how many
// of them are).
std::string ShellPrompt(const Cameras& cameras) {
  const int off = cameras.OffLine();
  if (off == 0) return "vexq4> ";
  if (cameras.size() == 1) return "vexq4 (off-line)> ";
  return "vexq4 (" + std::to_string(off) + " of " + std::to_string(cameras.size()) + " off-line)> ";
}

// One line's command, parsed as the command line parses it; nullopt when
// there is nothing to run (help, a refusal: `status` says which).
std::optional<Plan> ParseLine(Console& console, const std::vector<std::string>& words,
                              int& status) {
  CLI::App app{"command line of the shell", "vexq4"};
  app.require_subcommand(1, 1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "vexq4: " + std::string(e.what()) + "\n";
  });
  Plan plan;
  AddCommands(app, plan, /*inShell=*/true);
  std::string known;
  bool found = false;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    known += (known.empty() ? "" : ", ") + sub->get_name();
    found = found || sub->get_name() == words[0];
  }
  if (words[0] == "help") {
    PrintText("commands: " + known + ", quit; 'COMMAND --help' explains one\n");
    return std::nullopt;
  }
  if (!found) {
    console.Error("unknown command \"" + words[0] + "\"; the shell knows " + known + " and quit");
    status = kExitUsage;
    return std::nullopt;
  }
  std::vector<std::string> args(words.rbegin(), words.rend());  // CLI11 takes them reversed
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out, err;
    const int code = app.exit(e, out, err);
    if (!out.str().empty()) PrintText(out.str());
    std::string message = err.str();
    while (!message.empty() && message.back() == '\n') message.pop_back();
    if (!message.empty()) console.Line(message);
    if (code != 0) status = kExitUsage;
    return std::nullopt;
  }
  return plan;
}

// Runs one parsed line on the cameras; `reconnect` carries whether the
// connection went with an abandoned command.
int RunLine(Cameras& cameras, const Plan& plan, bool& reconnect) {
  Console& console = cameras.console();
  if (cameras.size() > 1 && plan.writesFile) {
    const std::string why = FileForEachCamera(plan.name, plan.file, cameras.fileNames());
    if (!why.empty()) {
      console.Error(why);
      return kExitUsage;
    }
  }
  // The camera did not answer after an abandoned command (still busy
  // with it, say): try again now that the user wants it.
  if (reconnect && cameras.OffLine() > 0 && plan.needsCamera)
    reconnect = cameras.ReconnectOffLine();
  int status = plan.run ? cameras.Run(plan.run) : kExitUsage;
  if (CommandInterrupted()) {
    // The exchange under way was abandoned and the camera taken for gone:
    // open the line again for the next command.
    ClearCommandInterrupt();
    status = 128 + SIGINT;
    console.Error("interrupted");
    reconnect = cameras.OffLine() > 0 && cameras.ReconnectOffLine();
    if (reconnect) console.Error("the camera does not answer yet; the next command tries again");
  }
  return status;
}

}  // namespace

int RunShell(Host& host, std::FILE* in) {
  Cameras one(host);
  return RunShell(one, in);
}

int RunShell(Cameras& cameras, std::FILE* in) {
  Console& console = cameras.console();
  const std::unique_ptr<LineReader> reader = LineReader::For(in);
  const bool interactive = reader->edits();
  // On a terminal Ctrl-C abandons the command (or the line being typed)
  // and the shell goes on; elsewhere it ends the program.
  SetInterruptAbandonsCommand(interactive);
  bool reconnect = false;  // the connection went with an abandoned command
  int last = kExitOk;
  std::string line;
  while (StopSignal() == 0) {
    const LineReader::Result read = reader->Read(ShellPrompt(cameras), line);
    if (read == LineReader::Result::kInterrupted) {
      if (StopSignal() != 0) break;
      PrintText("\n");
      ClearCommandInterrupt();
      continue;
    }
    if (read == LineReader::Result::kEnd) break;
    const auto words = SplitWords(line);
    if (!words) {
      console.Error("unterminated quote: " + line);
      last = kExitUsage;
      continue;
    }
    if (words->empty()) continue;
    if ((*words)[0] == "quit" || (*words)[0] == "exit") break;
    const std::optional<Plan> plan = ParseLine(console, *words, last);
    if (!plan) continue;
    if (const int status = RunLine(cameras, *plan, reconnect); status != kExitOk) last = status;
  }
  SetInterruptAbandonsCommand(false);
  if (interactive) PrintText("\n");
  return last;
}

std::optional<std::vector<std::string>> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < line.size()) {
        word += line[++i];
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else if (c == '#' && !inWord) {
      break;  // a comment to the end of the line
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote) return std::nullopt;
  if (inWord) words.push_back(std::move(word));
  return words;
}

}  // namespace vexq4::cli
