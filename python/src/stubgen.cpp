// Writes the package's type stubs: the template with one declaration per
// setting of the table in place of its @SETTINGS@ line, so that editors
// complete every attribute of vexq4.Camera with its type and valid values.
//
//   vexq4-python-stubs TEMPLATE OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "host_properties.h"

namespace {

using vexq4::hosts::Kind;
using vexq4::hosts::Property;

std::string Values(const Property& s) {
  std::string out;
  switch (s.kind) {
    case Kind::kNumber:
    case Kind::kReadOnly:
      return std::to_string(s.min) + ".." + std::to_string(s.max);
    case Kind::kListText:
      for (std::string_view t : s.list) out += (out.empty() ? "" : ", ") + std::string(t);
      return out;
    default:
      return "text";
  }
}

void Declare(std::ostream& out, const Property& s) {
  const char* type = s.isText() ? "str" : "int";
  if (s.readOnly()) {
    out << "    @property\n    def " << s.name << "(self) -> " << type << ":\n";
    out << "        \"\"\"" << s.help << " (read-only).\"\"\"\n";
  } else {
    out << "    " << s.name << ": " << type << "\n";
    out << "    \"\"\"" << s.help << ": " << Values(s) << ".\"\"\"\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vexq4-python-stubs TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "vexq4-python-stubs: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream out;
  std::string line;
  while (std::getline(in, line)) {
    if (line != "@SETTINGS@") {
      out << line << "\n";
      continue;
    }
    for (const Property& s : vexq4::hosts::Properties()) Declare(out, s);
  }
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << out.str();
  file.close();
  if (!file) {
    std::cerr << "vexq4-python-stubs: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
