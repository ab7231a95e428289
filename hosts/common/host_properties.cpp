#include "host_properties.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <deque>
#include <string>
#include <vector>

#include "vexq4/model/settings.h"

namespace vexq4::cli {
namespace {

using namespace std::string_view_literals;

constexpr Property ReadOnlyText(std::string_view name, std::string_view help) {
  return {name, 0, Kind::kReadOnlyText, 0, 0, false, {}, help};
}
constexpr Property ReadOnly(std::string_view name, std::string_view help) {
  return {name, 0, Kind::kReadOnly, model::kShortMin, model::kShortMax, false, {}, help};
}

// The identity values the camera reports; no automation property of their
// own (the control reads them with methods).
constexpr std::array kIdentity = {
    ReadOnlyText("CameraID", "camera ID"),
    ReadOnlyText("ModelName", "model name"),
    ReadOnly("FirmwareVersion", "firmware version"),
    ReadOnly("EEPROMCurrentAreaNo", "settings area the camera runs from (0 factory, 1..3 user)"),
};

// The camera user ID's rule: 1 to 16 printable characters.
constexpr int kUserIdMax = 16;

// Every automation property the model holds, from its tables, in DISPID
// order: the settings (a list setting by its index and by its text), the
// connection's port and frame grabber (read-only here: the connection
// options set them) and the user ID; then the identity values.
std::vector<Property> Build() {
  static std::deque<std::string> helps;  // the composed help texts (stable addresses)
  std::vector<Property> out;
  for (const model::SettingRow& row : model::Settings()) {
    if (row.isList()) {
      // The index properties without a check of the control's own are
      // refused by the model's set operation (-1) beyond their list; the
      // host checks the same range first, so the refusal is reported
      // instead of passing silently.
      helps.push_back("index into the " + std::string(row.textProperty) + " list");
      out.push_back(
          {row.property, row.dispid, Kind::kNumber, row.min, row.max, true, {}, helps.back()});
      out.push_back({row.textProperty, row.textDispid, Kind::kListText, row.min, row.max, true,
                     row.list, row.meaning});
    } else {
      out.push_back({row.property,
                     row.dispid,
                     Kind::kNumber,
                     row.min,
                     row.max,
                     row.checked,
                     {},
                     row.meaning});
    }
  }
  for (const model::NotificationRow& n : model::Notifications()) {
    if (n.property.empty() || n.setting) continue;
    // The user ID is set as text; the connection's port and frame grabber
    // are the connection options' to set.
    Property p{n.property, n.dispid, Kind::kReadOnly, model::kShortMin, model::kShortMax, false, {},
               n.meaning,  &n};
    if (n.text) {
      p.kind = Kind::kText;
      p.min = 1;
      p.max = kUserIdMax;
    }
    out.push_back(p);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Property& a, const Property& b) { return a.dispid < b.dispid; });
  out.insert(out.end(), kIdentity.begin(), kIdentity.end());
  return out;
}

const std::vector<Property>& Table() {
  static const std::vector<Property> table = Build();
  return table;
}

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

}  // namespace

std::span<const Property> Properties() { return Table(); }

const Property* FindProperty(std::string_view name) {
  for (const Property& p : Table())
    if (EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

std::string SuggestProperty(std::string_view name) {
  const Property* best = nullptr;
  std::size_t bestDistance = 4;  // beyond three edits it is no longer a typo
  for (const Property& p : Table()) {
    std::size_t d = Distance(name, p.name);
    if (d < bestDistance) {
      bestDistance = d;
      best = &p;
    }
  }
  return best ? std::string(best->name) : std::string();
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
  Checked c;
  const std::string name(p.name);
  switch (p.kind) {
    case Kind::kNumber: {
      auto v = ParseInteger(value);
      if (!v) {
        c.error =
            name + ": " + Quote(value) + " is not a whole number; valid: " + DescribeValues(p);
      } else if (*v < p.min || *v > p.max) {
        c.error = name + ": " + std::string(value) + " is out of range " + DescribeValues(p);
      } else {
        c.ok = true;
        c.number = static_cast<int>(*v);
      }
      return c;
    }
    case Kind::kListText: {
      for (std::size_t i = 0; i < p.list.size(); ++i) {
        if (p.list[i] == value) {
          c.ok = true;
          c.number = static_cast<int>(i);
          c.text = std::string(value);
          return c;
        }
      }
      c.error = name + ": " + Quote(value) +
                " is not in the list; valid (exact letter case): " + DescribeValues(p);
      return c;
    }
    case Kind::kText: {
      // The model sends no empty user ID (the camera would refuse it) and
      // reports success all the same: say so instead.
      if (value.empty()) {
        c.error = name + ": an empty user ID is not sent; the camera keeps its user ID. " +
                  "Valid: 1 to 16 printable characters";
        return c;
      }
      // The camera takes at most 16 printable characters; the library would
      // refuse anything else only after the model had stored it.
      bool printable =
          std::all_of(value.begin(), value.end(), [](char ch) { return ch >= 0x20 && ch <= 0x7e; });
      if (value.size() > static_cast<std::size_t>(p.max) || !printable) {
        c.error = name + ": " + Quote(value) + " is not valid; " + DescribeValues(p);
        return c;
      }
      c.ok = true;
      c.text = std::string(value);
      return c;
    }
    default:
      c.error = name + " is read-only";
      return c;
  }
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
