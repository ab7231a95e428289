#include "completion.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "host_properties.h"
#include "serial_ports.h"

namespace vexq4::cli {
namespace {

using hosts::FindProperty;
using hosts::Kind;
using hosts::Properties;
using hosts::Property;

constexpr const char* kFiles = "!files";
constexpr const char* kNoSpace = "!nospace";

// The commands whose argument is a file.
bool TakesFile(std::string_view command) {
  return command == "save-settings" || command == "load-settings" || command == "report" ||
         command == "shading-save" || command == "shading-load";
}

bool IsOption(std::string_view word) { return word.size() > 1 && word[0] == '-'; }

// The option of `app` (or, connection options following the command, of
// its parent) that `word` names, "--device" or "--device=PATH".
const CLI::Option* FindOption(const CLI::App* app, std::string_view word) {
  const std::string name(word.substr(0, word.find('=')));
  for (; app != nullptr; app = app->get_parent()) {
    for (const CLI::Option* opt : app->get_options()) {
      if (opt->get_positional()) continue;
      if (opt->check_name(name)) return opt;
    }
  }
  return nullptr;
}

// Flags expect no value.
bool TakesValue(const CLI::Option* opt) { return opt != nullptr && opt->get_expected_max() > 0; }

const CLI::App* FindCommand(const CLI::App& app, std::string_view word) {
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    if (sub->get_name() == word) return sub;
  return nullptr;
}

// Every long option of the command and of the program above it.
void AddOptions(const CLI::App* app, std::vector<std::string>& out) {
  for (; app != nullptr; app = app->get_parent()) {
    for (const CLI::Option* opt : app->get_options()) {
      if (opt->get_positional() || opt->get_group().empty()) continue;
      for (const std::string& name : opt->get_lnames()) out.push_back("--" + name);
    }
  }
}

// The machine's serial ports with their stable names, and the forms of a
// camera on a serial device server; file names for a path such as a
// pseudo-terminal's.
void AddDevices(std::string_view current, std::vector<std::string>& out) {
  out.push_back("rfc2217://");
  out.push_back("socket://");
  for (const SerialPort& port : ScanSerialPorts(SystemRoot()).ports) {
    out.push_back(port.device);
    for (const std::string& name : port.byId) out.push_back(name);
  }
  out.push_back(kNoSpace);  // a network form goes on with HOST:PORT
  if (current.empty() || current[0] == '/' || current[0] == '.') out.push_back(kFiles);
}

void AddSettingNames(bool settable, std::vector<std::string>& out) {
  for (const Property& p : Properties()) {
    if (settable && p.readOnly()) continue;
    out.push_back(std::string(p.name) + (settable ? "=" : ""));
  }
  if (settable) out.push_back(kNoSpace);
}

// NAME=text for every text of a list setting; nothing for a number.
void AddValues(std::string_view assignment, std::vector<std::string>& out) {
  const std::string_view name = assignment.substr(0, assignment.find('='));
  const Property* p = FindProperty(name);
  if (p == nullptr || p->kind != Kind::kListText) return;
  for (std::string_view text : p->list) out.push_back(std::string(name) + "=" + std::string(text));
}

// The argument of `command` at `position` (0: its first).
void AddArguments(const CLI::App* command, std::size_t position, std::string_view current,
                  std::vector<std::string>& out) {
  const std::string& name = command->get_name();
  if (name == "get") {
    AddSettingNames(false, out);
  } else if (name == "set") {
    if (current.find('=') != std::string_view::npos)
      AddValues(current, out);
    else
      AddSettingNames(true, out);
  } else if (TakesFile(name) && position == 0) {
    out.push_back(kFiles);
  } else if ((name == "store" || name == "load") && position == 0) {
    for (int area = name == "load" ? 0 : 1; area <= 3; ++area) out.push_back(std::to_string(area));
  }
}

// The values an option takes: devices, or the texts of a CLI11 set
// ("TEXT:{text,json}" as its type is described).
void AddOptionValues(const CLI::Option* opt, std::string_view current,
                     std::vector<std::string>& out) {
  if (opt->check_name("--device")) return AddDevices(current, out);
  const std::string type = opt->get_type_name();
  const std::size_t open = type.find('{'), close = type.find('}', open);
  if (open == std::string::npos || close == std::string::npos) return;
  std::string_view rest = std::string_view(type).substr(open + 1, close - open - 1);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    out.emplace_back(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
}

bool StartsWith(std::string_view text, std::string_view prefix, bool anyCase) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(prefix[i]);
    if (anyCase ? std::tolower(a) != std::tolower(b) : a != b) return false;
  }
  return true;
}

// Keeps the candidates that begin with `current` (letter case counts,
// unless none would be left: setting names ignore it) and the directives.
std::vector<std::string> Filter(std::vector<std::string> all, std::string_view current) {
  std::vector<std::string> kept;
  for (bool anyCase : {false, true}) {
    for (const std::string& c : all)
      if (c[0] != '!' && StartsWith(c, current, anyCase)) kept.push_back(c);
    if (!kept.empty()) break;
  }
  for (const std::string& c : all)
    if (c[0] == '!' && std::find(kept.begin(), kept.end(), c) == kept.end()) kept.push_back(c);
  return kept;
}

}  // namespace

std::vector<std::string> Completions(const CLI::App& app, const std::vector<std::string>& words,
                                     std::size_t current) {
  const std::string word = current < words.size() ? words[current] : std::string();
  const CLI::App* command = nullptr;
  std::size_t arguments = 0;             // the command's arguments before the current word
  const CLI::Option* pending = nullptr;  // an option whose value the next word is
  for (std::size_t i = 0; i < current && i < words.size(); ++i) {
    const std::string& w = words[i];
    if (pending != nullptr) {
      pending = nullptr;
    } else if (IsOption(w)) {
      const CLI::Option* opt = FindOption(command ? command : &app, w);
      if (TakesValue(opt) && w.find('=') == std::string::npos) pending = opt;
    } else if (command == nullptr) {
      command = FindCommand(app, w);
      if (command == nullptr) return {};  // not a command: nothing sensible follows
    } else {
      ++arguments;
    }
  }

  std::vector<std::string> out;
  if (pending != nullptr) {
    AddOptionValues(pending, word, out);
  } else if (IsOption(word) && word.find('=') != std::string::npos) {
    const CLI::Option* opt = FindOption(command ? command : &app, word);
    const std::string name = word.substr(0, word.find('=') + 1);
    std::vector<std::string> values;
    if (opt != nullptr) AddOptionValues(opt, word.substr(name.size()), values);
    for (const std::string& v : values) out.push_back(v[0] == '!' ? v : name + v);
  } else if (!word.empty() && word[0] == '-') {
    AddOptions(command ? command : &app, out);
  } else if (command == nullptr) {
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
      if (!sub->get_group().empty()) out.push_back(sub->get_name());
  } else {
    AddArguments(command, arguments, word, out);
  }
  return Filter(std::move(out), word);
}

int RunCompletion(const CLI::App& app, int argc, char** argv) {
  std::size_t current = 0;
  const std::string_view index = argc > 2 ? argv[2] : "";
  auto [end, ec] = std::from_chars(index.data(), index.data() + index.size(), current);
  if (argc < 3 || ec != std::errc{} || end != index.data() + index.size()) {
    std::fputs("usage: vexq4 --complete INDEX [WORD...]\n", stderr);
    return 2;
  }
  const std::vector<std::string> words(argv + 3, argv + argc);
  for (const std::string& line : Completions(app, words, current))
    std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace vexq4::cli
