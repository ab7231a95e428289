// vexq4-genicam: prints the RX-Q4's GenApi description, or its mapping as
// the Markdown table of docs/genicam.md, both made from the settings table.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "vexq4/genicam/genapi_xml.h"

int main(int argc, char** argv) {
  const std::string what = argc == 2 ? argv[1] : "";
  std::string text;
  if (what == "xml") {
    text = vexq4::genicam::XmlText();
  } else if (what == "table") {
    text = vexq4::genicam::MappingTable();
  } else if (what == "url") {
    text = vexq4::genicam::XmlLocalUrl() + "\n";
  } else {
    std::fprintf(what == "--help" || what == "-h" ? stdout : stderr,
                 "vexq4-genicam - print the RX-Q4's GenICam description and its table.\n"
                 "Both are made from the settings table; vexq4 gige-bridge serves the same.\n"
                 "Usage: vexq4-genicam xml|table|url\n"
                 "\n"
                 "COMMANDS\n"
                 "  xml    the RX-Q4's GenApi description (schema 1.1)\n"
                 "  table  the feature mapping as a Markdown table (docs/genicam.md)\n"
                 "  url    the GigE Vision first-URL text pointing at it\n");
    return what == "--help" || what == "-h" ? 0 : 2;
  }
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "vexq4-genicam: cannot write to standard output: %s\n",
                 std::strerror(errno));
    return 1;
  }
  return 0;
}
