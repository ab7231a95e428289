#include "command_help.h"

#include <algorithm>

#include "host_properties.h"

namespace vexq4::cli {
namespace {

using hosts::Kind;
using hosts::Property;

constexpr std::string_view kExit =
    "\nEXIT STATUS\n  0 success, 1 camera, port or file failure, 2 usage error or refused value,\n"
    "  130/143/129 stopped by SIGINT/SIGTERM/SIGHUP\n";

// The read-only names, wrapped as the lines above them.
std::string ReadOnlyNames() {
  const auto readOnly = [](const Property& p) { return p.readOnly(); };
  const auto& properties = hosts::Properties();
  const auto last = std::find_if(properties.rbegin(), properties.rend(), readOnly);
  std::string out;
  std::string line = "  Read-only (get, list):";
  for (const Property& p : properties) {
    if (!readOnly(p)) continue;
    const std::string word = std::string(p.name) + (&p == &*last ? "." : ",");
    if (line.size() + 1 + word.size() > 79) {
      out += line + "\n";
      line = " ";
    }
    line += " " + word;
  }
  return out + line + "\n";
}

}  // namespace

std::string Example(const std::string& vexq4, std::string_view text) {
  std::string out;
  for (std::size_t at; (at = text.find("{vexq4}")) != std::string_view::npos;) {
    out += text.substr(0, at);
    out += vexq4;
    text.remove_prefix(at + 7);
  }
  out += text;
  return hosts::WithNames(out);
}

std::string Footer(const std::string& vexq4, std::string_view examples) {
  return "\nEXAMPLES\n" + Example(vexq4, examples) + std::string(kExit);
}

std::string SettingsHelp() {
  std::string out = "SETTINGS (name, valid values, meaning)\n";
  for (const Property& p : hosts::Properties()) {
    if (p.readOnly()) continue;
    std::string line = "  " + std::string(p.name);
    line.resize(std::max<std::size_t>(line.size() + 1, 29), ' ');
    out += line + hosts::DescribeValues(p) + "\n";
    out += std::string(29, ' ') + std::string(p.help) + "\n";
  }
  out += ReadOnlyNames();
  out += "  Names are matched without regard to letter case; list texts are not.\n";
  return out;
}

std::string WritingSeveral() {
  return "\nSEVERAL CAMERAS\n"
         "  {camera} in FILE becomes the camera's name, so that each camera writes a\n"
         "  file of its own; with several cameras FILE must hold it. The name is COM<n>\n"
         "  for --com n, sim, grabber<N> or clallserial<N> for those options, else the\n"
         "  device without /dev/ and with every run of characters other than letters,\n"
         "  digits, '.', '-', '_' and '+' made one '_': /dev/ttyUSB0 gives ttyUSB0,\n"
         "  rfc2217://line3:4001 rfc2217_line3_4001.\n"
         "    vexq4 --com 1-8 save-settings 'line3-{camera}.cam'    line3-COM1.cam, ...\n";
}

std::string ReadingSeveral() {
  return "\nSEVERAL CAMERAS\n"
         "  Every camera named reads FILE. {camera} in it becomes each camera's name,\n"
         "  as for save-settings ('vexq4 save-settings --help'): a file per camera.\n"
         "    vexq4 --com 1-8 load-settings 'line3-{camera}.cam'\n";
}

}  // namespace vexq4::cli
