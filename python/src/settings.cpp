#include "settings.h"

#include <vector>

namespace vexq4::python {
namespace {

Kind KindOf(cli::Kind kind) {
  switch (kind) {
    case cli::Kind::kNumber:
      return Kind::kNumber;
    case cli::Kind::kListText:
      return Kind::kList;
    case cli::Kind::kText:
      return Kind::kText;
    case cli::Kind::kReadOnly:
      return Kind::kReadOnly;
    case cli::Kind::kReadOnlyText:
      break;
  }
  return Kind::kReadOnlyText;
}

// The model row behind a property: a ...Str property shares the row of its
// ...Index.
const model::SettingRow* RowOf(const cli::Property& p) {
  if (p.kind == cli::Kind::kNumber) return model::FindSetting(p.name);
  if (p.kind != cli::Kind::kListText) return nullptr;
  std::string name(p.name.substr(0, p.name.size() - 3));
  return model::FindSetting(name + "Index");
}

const std::vector<Setting>& Table() {
  static const std::vector<Setting> table = [] {
    std::vector<Setting> out;
    for (const cli::Property& p : cli::Properties()) {
      // The firmware version is not part of a read-all; identity() has it.
      const bool inList = p.name != "FirmwareVersion";
      out.push_back({p.name, KindOf(p.kind), p.dispid, p.min, p.max, p.checked, p.list, p.help,
                     RowOf(p), inList});
    }
    return out;
  }();
  return table;
}

const cli::Property& PropertyOf(const Setting& s) { return *cli::FindProperty(s.name); }

}  // namespace

std::span<const Setting> Settings() { return Table(); }

const Setting* FindSetting(std::string_view name) {
  for (const Setting& s : Table())
    if (s.name == name) return &s;
  return nullptr;
}

const Setting* FindSettingNoCase(std::string_view name) {
  const cli::Property* p = cli::FindProperty(name);
  return p ? FindSetting(p->name) : nullptr;
}

std::string CheckNumber(const Setting& s, long long value) {
  cli::Checked c = cli::CheckValue(PropertyOf(s), std::to_string(value));
  return c.ok ? std::string() : c.error;
}

std::string CheckText(const Setting& s, std::string_view text, int& index) {
  cli::Checked c = cli::CheckValue(PropertyOf(s), text);
  index = c.number;
  return c.ok ? std::string() : c.error;
}

std::string Suggest(std::string_view name) {
  // The camera's own mnemonics ("GA") point to the property of that setting.
  if (const model::SettingRow* row = model::FindSetting(name)) return std::string(row->property);
  return cli::SuggestProperty(name);
}

}  // namespace vexq4::python
