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

// The notification of a value without a setting row: by the property it
// announces, or by its own name less "Changed" (the identity values).
const model::NotificationRow* NotificationOf(std::string_view name) {
  for (const model::NotificationRow& n : model::Notifications())
    if (!n.setting && n.property == name) return &n;
  return model::FindNotification(std::string(name) + "Changed");
}

const std::vector<Setting>& Table() {
  static const std::vector<Setting> table = [] {
    std::vector<Setting> out;
    for (const cli::Property& p : cli::Properties()) {
      // A list setting's row carries both its names.
      const model::SettingRow* row = model::FindSetting(p.name);
      out.push_back({p.name, KindOf(p.kind), p.dispid, p.min, p.max, p.checked, p.list, p.help, row,
                     row ? nullptr : NotificationOf(p.name)});
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

std::string OutOfRange(const Setting& s, std::string_view number) {
  return std::string(s.name) + ": " + std::string(number) + " is out of range " +
         cli::DescribeValues(PropertyOf(s));
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
