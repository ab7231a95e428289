// The GenApi description and the documentation's table, from Features().
#include "vexq4/genicam/genapi_xml.h"

#include <cctype>
#include <cstdio>
#include <string_view>
#include <vector>

#include "vexq4/genicam/features.h"

namespace vexq4::genicam {
namespace {

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Hex(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

// "RedKneePoint" -> "Red Knee Point", "RCTFVALType" -> "RCTFVAL Type".
std::string DisplayName(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (i > 0 && std::isupper(c)) {
      const auto before = static_cast<unsigned char>(name[i - 1]);
      const bool nextLower =
          i + 1 < name.size() && std::islower(static_cast<unsigned char>(name[i + 1]));
      if (std::islower(before) || std::isdigit(before) || (std::isupper(before) && nextLower))
        out += ' ';
    }
    out += name[i];
  }
  return out;
}

std::string SelectorValueNode(std::string_view selector) { return std::string(selector) + "Value"; }

class Writer {
 public:
  void Open(std::string_view element, std::string_view name, bool standard) {
    Line("<" + std::string(element) + " Name=\"" + std::string(name) + "\" NameSpace=\"" +
         (standard ? "Standard" : "Custom") + "\">");
    ++depth_;
  }
  void OpenPlain(std::string_view element, std::string_view name) {
    Line("<" + std::string(element) + " Name=\"" + std::string(name) + "\">");
    ++depth_;
  }
  void Close(std::string_view element) {
    --depth_;
    Line("</" + std::string(element) + ">");
  }
  void Element(std::string_view element, std::string_view text) {
    Line("<" + std::string(element) + ">" + Escape(text) + "</" + std::string(element) + ">");
  }
  void Raw(const std::string& line) { Line(line); }
  std::string& text() { return text_; }

 private:
  void Line(const std::string& line) { text_ += std::string(2 * depth_, ' ') + line + "\n"; }
  std::string text_;
  int depth_ = 0;
};

void Basics(Writer& w, const Feature& f) {
  w.Element("ToolTip", f.description);
  w.Element("Description", f.description + (f.camera.empty() ? "" : " (camera: " + f.camera + ")"));
  w.Element("DisplayName", DisplayName(f.name));
}

void IntRegister(Writer& w, const std::string& name, std::uint32_t address, bool writable,
                 const std::string& indexedBy = {}) {
  w.OpenPlain("IntReg", name);
  w.Element("Address", Hex(address));
  if (!indexedBy.empty())
    w.Raw("<pIndex Offset=\"" + std::to_string(kSettingStride) + "\">" + indexedBy + "</pIndex>");
  w.Element("Length", "4");
  w.Element("AccessMode", writable ? "RW" : "RO");
  w.Element("pPort", "Device");
  w.Element("Cachable", "NoCache");
  w.Element("Sign", "Signed");
  w.Element("Endianess", "BigEndian");
  w.Close("IntReg");
}

void Entries(Writer& w, const Feature& f) {
  for (const Entry& e : f.entries) {
    w.Open("EnumEntry", e.name, f.sfnc);
    w.Element("DisplayName", e.displayName);
    w.Element("Value", std::to_string(e.value));
    w.Close("EnumEntry");
  }
}

void WriteSelector(Writer& w, const Feature& f) {
  w.Open("Enumeration", f.name, f.sfnc);
  Basics(w, f);
  for (const std::string& selected : f.selects) w.Element("pSelected", selected);
  Entries(w, f);
  w.Element("pValue", SelectorValueNode(f.name));
  w.Close("Enumeration");
  // The client keeps the selector's value: choosing an entry sends nothing.
  w.OpenPlain("Integer", SelectorValueNode(f.name));
  w.Element("Visibility", "Invisible");
  w.Element("Value", std::to_string(f.entries.front().value));
  w.Close("Integer");
}

void WriteInteger(Writer& w, const Feature& f) {
  const std::string reg = f.name + "Reg";
  w.Open("Integer", f.name, f.sfnc);
  Basics(w, f);
  w.Element("pValue", reg);
  if (f.selector.empty()) {
    w.Element("Min", std::to_string(f.min));
    w.Element("Max", std::to_string(f.max));
  } else {
    w.Element("pMin", f.name + "MinReg");
    w.Element("pMax", f.name + "MaxReg");
  }
  w.Close("Integer");
  const std::string index = f.selector.empty() ? "" : SelectorValueNode(f.selector);
  IntRegister(w, reg, f.address, f.writable, index);
  if (!f.selector.empty()) {
    IntRegister(w, f.name + "MinReg", f.address + kMinOffset, false, index);
    IntRegister(w, f.name + "MaxReg", f.address + kMaxOffset, false, index);
  }
}

void WriteEnumeration(Writer& w, const Feature& f) {
  w.Open("Enumeration", f.name, f.sfnc);
  Basics(w, f);
  Entries(w, f);
  w.Element("pValue", f.name + "Reg");
  w.Close("Enumeration");
  IntRegister(w, f.name + "Reg", f.address, f.writable);
}

void WriteString(Writer& w, const Feature& f) {
  w.Open("StringReg", f.name, f.sfnc);
  Basics(w, f);
  w.Element("Address", Hex(f.address));
  w.Element("Length", std::to_string(f.length));
  w.Element("AccessMode", f.writable ? "RW" : "RO");
  w.Element("pPort", "Device");
  w.Element("Cachable", "NoCache");
  w.Close("StringReg");
}

void WriteCommand(Writer& w, const Feature& f) {
  w.Open("Command", f.name, f.sfnc);
  Basics(w, f);
  w.Element("pValue", f.name + "Reg");
  if (f.commandValueFrom.empty())
    w.Element("CommandValue", std::to_string(f.commandValue));
  else
    w.Element("pCommandValue", SelectorValueNode(f.commandValueFrom));
  w.Close("Command");
  IntRegister(w, f.name + "Reg", f.address, true);
}

void WriteFeature(Writer& w, const Feature& f) {
  if (f.isSelector) return WriteSelector(w, f);
  switch (f.type) {
    case FeatureType::kInteger:
      return WriteInteger(w, f);
    case FeatureType::kEnumeration:
      return WriteEnumeration(w, f);
    case FeatureType::kString:
      return WriteString(w, f);
    case FeatureType::kCommand:
      return WriteCommand(w, f);
  }
}

std::vector<std::string> Categories() {
  std::vector<std::string> out;
  for (const Feature& f : Features()) {
    bool seen = false;
    for (const std::string& c : out) seen = seen || c == f.category;
    if (!seen) out.push_back(f.category);
  }
  return out;
}

void WriteCategories(Writer& w) {
  w.Open("Category", "Root", true);
  w.Element("DisplayName", "Root");
  for (const std::string& c : Categories()) w.Element("pFeature", c);
  w.Close("Category");
  for (const std::string& c : Categories()) {
    w.Open("Category", c, c == "DeviceControl" || c == "UserSetControl");
    w.Element("DisplayName", DisplayName(c));
    for (const Feature& f : Features())
      if (f.category == c) w.Element("pFeature", f.name);
    w.Close("Category");
  }
}

std::string Build() {
  Writer w;
  w.Raw("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  w.Raw("<RegisterDescription ModelName=\"RXQ4\" VendorName=\"" + std::string(kVendorName) +
        "\" ToolTip=\"RX-Q4 three-sensor RGB camera, set up over its serial line\""
        " StandardNameSpace=\"None\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\""
        " SchemaSubMinorVersion=\"0\" MajorVersion=\"" +
        std::to_string(kXmlMajorVersion) + "\" MinorVersion=\"" + std::to_string(kXmlMinorVersion) +
        "\" SubMinorVersion=\"" + std::to_string(kXmlSubMinorVersion) +
        "\" ProductGuid=\"5B0D2C5E-8E51-4A0B-9C43-52A1B8E40001\""
        " VersionGuid=\"5B0D2C5E-8E51-4A0B-9C43-52A1B8E41000\""
        " xmlns=\"http://www.genicam.org/GenApi/Version_1_1\""
        " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
        " xsi:schemaLocation=\"http://www.genicam.org/GenApi/Version_1_1"
        " http://www.genicam.org/GenApi/GenApiSchema_Version_1_1.xsd\">");
  Writer nodes;
  WriteCategories(nodes);
  for (const Feature& f : Features()) WriteFeature(nodes, f);
  nodes.Open("Port", "Device", true);
  nodes.Element("ToolTip", "the camera's register space");
  nodes.Close("Port");
  // Indent the nodes one level under the root element.
  std::string_view text = nodes.text();
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    w.text() += "  " + std::string(text.substr(0, end)) + "\n";
    text.remove_prefix(end + 1);
  }
  w.text() += "</RegisterDescription>\n";
  std::string xml = std::move(w.text());
  while (xml.size() % 4 != 0) xml.insert(xml.size() - 1, " ");
  return xml;
}

std::string Cell(std::string text) {
  for (char& c : text)
    if (c == '|') c = '/';
  return text;
}

std::string TypeName(const Feature& f) {
  switch (f.type) {
    case FeatureType::kInteger:
      return "Integer";
    case FeatureType::kEnumeration:
      return f.isSelector ? "Enumeration (selector)" : "Enumeration";
    case FeatureType::kString:
      return "String";
    case FeatureType::kCommand:
      return "Command";
  }
  return {};
}

std::string EntriesText(const Feature& f) {
  std::string out;
  for (const Entry& e : f.entries) {
    if (!out.empty()) out += ", ";
    out += "`" + e.name + "`";
    if (e.displayName != e.name) out += " \"" + e.displayName + "\"";
  }
  return out;
}

std::string AccessText(bool writable) { return writable ? "RW" : "RO"; }

}  // namespace

const std::string& XmlText() {
  static const std::string xml = Build();
  return xml;
}

std::string XmlFileName() {
  return std::string(kVendorName) + "_RXQ4_" + std::to_string(kXmlMajorVersion) + "_" +
         std::to_string(kXmlMinorVersion) + "_" + std::to_string(kXmlSubMinorVersion) + ".xml";
}

std::string XmlLocalUrl() {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "Local:%s;%X;%zX", XmlFileName().c_str(), kXmlAddress,
                XmlText().size());
  return buffer;
}

std::string MappingTable() {
  std::string out =
      "| Feature | Type | Selector entry | Access | Range or entries | Camera | Register |\n"
      "|---|---|---|---|---|---|---|\n";
  const auto line = [&out](const std::vector<std::string>& cells) {
    out += "|";
    for (const std::string& c : cells) out += " " + Cell(c) + " |";
    out += "\n";
  };
  for (const Feature& f : Features()) {
    const std::string name = "`" + f.name + "`" + (f.sfnc ? " (SFNC)" : "");
    if (f.isSelector) {
      line({name, TypeName(f), "", "RW", EntriesText(f), "nothing (chooses the register)", "—"});
    } else if (!f.selector.empty() && f.type == FeatureType::kInteger) {
      for (const model::SettingRow* row : f.rows)
        line({name, TypeName(f), "`" + std::string(row->genicam.entry) + "`",
              AccessText(!row->genicam.readOnly),
              std::to_string(row->min) + " to " + std::to_string(row->max),
              "`" + std::string(row->mnemonic) + "`", Hex(SettingAddress(row->code))});
    } else {
      std::string values;
      if (f.type == FeatureType::kInteger)
        values = std::to_string(f.min) + " to " + std::to_string(f.max);
      else if (f.type == FeatureType::kEnumeration)
        values = EntriesText(f);
      else if (f.type == FeatureType::kString)
        values = std::to_string(f.length) + " bytes";
      else if (!f.commandValueFrom.empty())
        values = "writes the " + f.commandValueFrom + " entry";
      line({name, TypeName(f), f.selector.empty() ? "" : "by `" + f.selector + "`",
            f.type == FeatureType::kCommand ? "WO" : AccessText(f.writable), values,
            f.camera.empty() ? "—" : "`" + f.camera + "`", Hex(f.address)});
    }
  }
  return out;
}

}  // namespace vexq4::genicam
