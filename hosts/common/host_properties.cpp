#include "host_properties.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <deque>
#include <string>
#include <vector>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::hosts {
namespace {

using model::NotificationRow;
using model::SettingRow;

// The identity values the camera reports; no automation property of their
// own (the control reads them with methods). The texts come first, then
// the numbers: the order the hosts read and show them in, the user ID
// between the two.
struct IdentityValue {
  std::string_view name;
  std::string_view help;
  bool text;
};
constexpr std::array kIdentity = {
    IdentityValue{"CameraID", "camera ID", true},
    IdentityValue{"ModelName", "model name", true},
    IdentityValue{"FirmwareVersion", "firmware version", false},
    IdentityValue{"EEPROMCurrentAreaNo",
                  "settings area the camera runs from (0 factory, 1..3 user)", false},
};

// The notification of a value without a setting row: by the property it
// announces, or by its own name less "Changed" (the identity values).
const NotificationRow* NotificationOf(std::string_view name) {
  for (const NotificationRow& n : model::Notifications())
    if (!n.setting && n.property == name) return &n;
  return model::FindNotification(std::string(name) + "Changed");
}

// A list setting as two properties: its index and its text.
void AddSetting(std::vector<Property>& out, const SettingRow& row, std::deque<std::string>& helps) {
  if (!row.isList()) {
    out.push_back({row.property,
                   row.dispid,
                   Kind::kNumber,
                   row.min,
                   row.max,
                   row.checked,
                   {},
                   row.meaning,
                   &row});
    return;
  }
  // The index properties without a check of the control's own are refused
  // by the model's set operation (-1) beyond their list; the host checks
  // the same range first, so the refusal is reported instead of passing
  // silently.
  helps.push_back("index into the " + std::string(row.textProperty) + " list");
  out.push_back(
      {row.property, row.dispid, Kind::kNumber, row.min, row.max, true, {}, helps.back(), &row});
  out.push_back({row.textProperty, row.textDispid, Kind::kListText, row.min, row.max, true,
                 row.list, row.meaning, &row});
}

// A value the model announces that is no setting's: the connection's port
// and frame grabber (read-only here: the connection options set them) and
// the user ID, set as text, its help naming the text it takes.
Property NotifiedValue(const NotificationRow& n, std::deque<std::string>& helps) {
  Property p{n.property, n.dispid, Kind::kReadOnly, model::kShortMin, model::kShortMax,
             false,      {},       n.meaning,       nullptr,          &n};
  if (n.setText) {
    p.kind = Kind::kText;
    p.min = 1;
    p.max = VEXQ4_USER_ID_MAX_SET;
    helps.push_back(std::string(n.meaning) + ", " + DescribeValues(p));
    p.help = helps.back();
  }
  return p;
}

// Every automation property the model holds, from its tables, in DISPID
// order; then the identity values. Built once, in place: the properties
// point into the composed help texts beside them.
struct Table {
  Table();
  std::deque<std::string> helps;
  std::vector<Property> properties;
};

Table::Table() {
  for (const SettingRow& row : model::Settings()) AddSetting(properties, row, helps);
  for (const NotificationRow& n : model::Notifications())
    if (!n.property.empty() && !n.setting) properties.push_back(NotifiedValue(n, helps));
  std::stable_sort(properties.begin(), properties.end(),
                   [](const Property& a, const Property& b) { return a.dispid < b.dispid; });
  for (const IdentityValue& v : kIdentity) {
    properties.push_back({v.name,
                          0,
                          v.text ? Kind::kReadOnlyText : Kind::kReadOnly,
                          v.text ? 0 : model::kShortMin,
                          v.text ? 0 : model::kShortMax,
                          false,
                          {},
                          v.help,
                          nullptr,
                          NotificationOf(v.name)});
  }
}

const std::vector<Property>& All() {
  static const Table table;
  return table.properties;
}

}  // namespace

const Property& UserIdProperty() {
  return *std::find_if(All().begin(), All().end(),
                       [](const Property& p) { return p.kind == Kind::kText; });
}

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

std::optional<long long> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// Edit distance, for suggestions only; names are short.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t up = row[j];
      row[j] = std::min(
          {row[j] + 1, row[j - 1] + 1, diag + (Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

Checked CheckText(const Property& p, std::string_view value) {
  Checked c;
  const std::string name(p.name);
  // The model sends no empty user ID (the camera would refuse it) and
  // reports success all the same: say so instead.
  if (value.empty()) {
    c.error = name + ": an empty user ID is not sent; the camera keeps its user ID. Valid: " +
              DescribeValues(p);
    return c;
  }
  // The camera takes so many printable characters; the library would
  // refuse anything else only after the model had stored it.
  const bool printable =
      std::all_of(value.begin(), value.end(), [](char ch) { return ch >= 0x20 && ch <= 0x7e; });
  if (value.size() > static_cast<std::size_t>(p.max) || !printable) {
    c.error = name + ": " + Quote(value) + " is not valid; " + DescribeValues(p);
    return c;
  }
  c.ok = true;
  c.text = std::string(value);
  return c;
}

Checked CheckListText(const Property& p, std::string_view value) {
  Checked c;
  for (std::size_t i = 0; i < p.list.size(); ++i) {
    if (p.list[i] == value) {
      c.ok = true;
      c.number = static_cast<int>(i);
      c.text = std::string(value);
      return c;
    }
  }
  c.error = std::string(p.name) + ": " + Quote(value) +
            " is not in the list; valid (exact letter case): " + DescribeValues(p);
  return c;
}

}  // namespace

std::span<const Property> Properties() { return All(); }

const Property* FindProperty(std::string_view name) {
  for (const Property& p : All())
    if (EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

const Property* FindPropertyExactly(std::string_view name) {
  for (const Property& p : All())
    if (p.name == name) return &p;
  return nullptr;
}

std::string SuggestProperty(std::string_view name) {
  // The camera's own mnemonics ("GA") point to the property of that setting.
  if (const SettingRow* row = model::FindSetting(name)) return std::string(row->property);
  const Property* best = nullptr;
  std::size_t bestDistance = 4;  // beyond three edits it is no longer a typo
  for (const Property& p : All()) {
    std::size_t d = Distance(name, p.name);
    if (d < bestDistance) {
      bestDistance = d;
      best = &p;
    }
  }
  return best ? std::string(best->name) : std::string();
}

std::span<const Property* const> IdentityProperties() {
  static const std::vector<const Property*> identity = [] {
    std::vector<const Property*> out;
    for (const Property& p : All())
      if (p.kind == Kind::kReadOnlyText && p.dispid == 0) out.push_back(&p);
    out.push_back(&UserIdProperty());
    for (const Property& p : All())
      if (p.kind == Kind::kReadOnly && p.dispid == 0) out.push_back(&p);
    return out;
  }();
  return identity;
}

const Property& PortProperty() {
  static const Property& port = *std::find_if(All().begin(), All().end(), [](const Property& p) {
    return p.notification && p.notification->open;
  });
  return port;
}

const Property& GrabberProperty() {
  static const Property& grabber = *std::find_if(All().begin(), All().end(), [](const Property& p) {
    return p.kind == Kind::kReadOnly && p.dispid != 0 && &p != &PortProperty();
  });
  return grabber;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string FormatNumber(std::string_view name, int value) {
  return std::string(name) + "=" + std::to_string(value);
}

std::string FormatText(std::string_view name, std::string_view text) {
  return std::string(name) + "=" + Quote(text);
}

std::string DescribeValues(const Property& p) {
  switch (p.kind) {
    case Kind::kListText: {
      std::string out;
      for (std::size_t i = 0; i < p.list.size(); ++i) {
        if (i) out += ", ";
        out += Quote(p.list[i]);
      }
      return out;
    }
    case Kind::kText:
      return std::to_string(p.min) + " to " + std::to_string(p.max) + " printable characters";
    case Kind::kNumber:
      return std::to_string(p.min) + ".." + std::to_string(p.max);
    default:
      return "read-only";
  }
}

Checked CheckValue(const Property& p, std::string_view value) {
  switch (p.kind) {
    case Kind::kNumber: {
      Checked c;
      const auto v = ParseInteger(value);
      if (!v) {
        c.error = std::string(p.name) + ": " + Quote(value) +
                  " is not a whole number; valid: " + DescribeValues(p);
      } else if (*v < p.min || *v > p.max) {
        c.error = OutOfRange(p, value);
      } else {
        c.ok = true;
        c.number = static_cast<int>(*v);
      }
      return c;
    }
    case Kind::kListText:
      return CheckListText(p, value);
    case Kind::kText:
      return CheckText(p, value);
    default: {
      Checked c;
      c.error = std::string(p.name) + " is read-only";
      return c;
    }
  }
}

Checked CheckNumber(const Property& p, long long value) {
  return CheckValue(p, std::to_string(value));
}

std::string OutOfRange(const Property& p, std::string_view number) {
  return std::string(p.name) + ": " + std::string(number) + " is out of range " + DescribeValues(p);
}

int Query(CVexCamInterface& model, const Property& p) {
  if (p.setting) return model.GetSetting(*p.setting);
  if (!p.notification) return model.GetFirmwareVersion();  // the one value with no notification
  return p.notification->read ? p.notification->read(model) : 0;
}

int Apply(CVexCamInterface& model, const Property& p, const Checked& value) {
  if (p.setting && !p.readOnly()) return model.SetSetting(*p.setting, value.number);
  if (p.notification && p.notification->setText)
    return (model.*(p.notification->setText))(value.text);
  return VEXQ4_E_ARGUMENT;
}

Value ValueOf(const CVexCamInterface& model, const Property& p) {
  if (p.setting) {
    if (p.kind == Kind::kListText) return model.Text(*p.setting);
    return model.Value(*p.setting);
  }
  if (!p.notification) return model.FirmwareVersion();
  if (p.notification->hasText()) return model.Text(*p.notification);
  return model.Value(*p.notification);
}

std::string Format(const CVexCamInterface& model, const Property& p) {
  const Value value = ValueOf(model, p);
  if (const std::string* text = std::get_if<std::string>(&value)) return FormatText(p.name, *text);
  return FormatNumber(p.name, std::get<int>(value));
}

std::string WithNames(std::string_view text) {
  std::string out;
  for (;;) {
    const std::size_t open = text.find('{');
    const std::size_t close = text.find('}', open);
    if (open == std::string_view::npos || close == std::string_view::npos) break;
    out += text.substr(0, open);
    const std::string_view key = text.substr(open + 1, close - open - 1);
    std::string_view mnemonic = key;
    const bool textName = key.ends_with(".text");
    if (textName) mnemonic.remove_suffix(5);
    const SettingRow* row = model::FindSetting(mnemonic);
    if (key == "user-id")
      out += UserIdProperty().name;
    else if (key == "port")
      out += PortProperty().name;
    else if (key == "fast-ms")
      out += std::to_string(CVexCamInterface::kFastReadsDrainMs);
    else if (row && row->mnemonic == mnemonic && (!textName || row->isList()))
      out += textName ? row->textProperty : row->property;
    else
      out += text.substr(open, close - open + 1);
    text.remove_prefix(close + 1);
  }
  out += text;
  return out;
}

}  // namespace vexq4::hosts
