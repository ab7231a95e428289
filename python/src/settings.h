// The settings as the Python package shows them: one entry per automation
// property, in the hosts' view of the model's table (a list setting by its
// index and by its text, the connection's numbers, the user ID, then the
// identity values; tools/vexq4/properties.h), each joined with the model's
// row or notification that holds it. Nothing here is a list of its own: the
// attributes of vexq4.Camera, vexq4.SETTINGS and the type stubs are all
// made from Settings().
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "host_properties.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/model/settings.h"

namespace vexq4::python {

enum class Kind {
  kNumber,        // an int, range-checked
  kList,          // one text of a value list (the ...Str properties)
  kText,          // the user ID
  kReadOnly,      // an int the program holds (connection, identity)
  kReadOnlyText,  // a text the camera holds (camera ID, model name)
};

struct Setting {
  std::string_view name;  // the automation property's name
  Kind kind;
  int dispid;  // 0: no automation property of its own
  int minimum;
  int maximum;
  bool checked;                            // the control's setter checks the range itself
  std::span<const std::string_view> list;  // kList: the texts by index
  std::string_view help;
  const model::SettingRow* row;  // the model's row, or nullptr (text, read-only)
  // Without a row: the notification that announces it, which names the
  // model's field (nullptr for the firmware version, which has none).
  const model::NotificationRow* notification;

  bool readOnly() const { return kind == Kind::kReadOnly || kind == Kind::kReadOnlyText; }
  bool isText() const { return kind != Kind::kNumber && kind != Kind::kReadOnly; }
};

// Every property in DISPID order, then the read-only identity values.
std::span<const Setting> Settings();
// By exact name, or nullptr.
const Setting* FindSetting(std::string_view name);
// By name without regard to letter case (as automation names), or nullptr.
const Setting* FindSettingNoCase(std::string_view name);
// "<name>: 500 is out of range -132..429" style check of a number
// or text; empty when the value is accepted.
std::string CheckNumber(const Setting& s, long long value);
// The same refusal for a number given as text (one beyond 64 bits).
std::string OutOfRange(const Setting& s, std::string_view number);
std::string CheckText(const Setting& s, std::string_view text, int& index);
// A near name for an unknown one, for "did you mean" hints.
std::string Suggest(std::string_view name);

}  // namespace vexq4::python
