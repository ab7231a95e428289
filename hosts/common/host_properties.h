// The settings and values every host reads and writes, named and checked as
// the control's automation properties are: the same names, the same ranges
// that the property setters accept, the same list texts for the ...Str
// names. Made from the model's table (vexq4/model/settings.h) and reached
// through its rows, so that a host names no property of its own: a new
// row is a new property of every host. Nothing here is Qt's.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "vexq4/model/settings.h"

class CVexCamInterface;

namespace vexq4::hosts {

enum class Kind {
  kNumber,    // a short, range-checked or not
  kListText,  // one text of a value list, exactly and case-sensitively
  kText,      // free text (the user ID)
  kReadOnly,  // shown by get/list, not settable (connection, identity)
  kReadOnlyText,
};

struct Property {
  std::string_view name;
  int dispid;  // the automation DISPID; 0 for the identity values
  Kind kind;
  int min;                                 // accepted range; for unchecked properties the range
  int max;                                 //   of the automation type (short)
  bool checked;                            // whether the control's setter checks the range itself
  std::span<const std::string_view> list;  // kListText: the texts by index
  std::string_view help;
  // Where the model keeps it: a setting's row (both properties of a list
  // setting have it), or for a value that is no setting's the notification
  // that announces it. Neither for the firmware version, which has none.
  const model::SettingRow* setting = nullptr;
  const model::NotificationRow* notification = nullptr;

  bool readOnly() const { return kind == Kind::kReadOnly || kind == Kind::kReadOnlyText; }
  bool isText() const { return kind != Kind::kNumber && kind != Kind::kReadOnly; }
};

// Every property in DISPID order, then the read-only identity values.
std::span<const Property> Properties();

// Names compare without regard to letter case, as automation names do.
const Property* FindProperty(std::string_view name);
// By the exact name (a Python attribute), or nullptr.
const Property* FindPropertyExactly(std::string_view name);
// A name for an unknown one ("did you mean ..."), or empty: the property
// of a camera mnemonic ("GA"), else a near name.
std::string SuggestProperty(std::string_view name);

// The identity in the order the hosts read and show it: the camera's
// texts, the user ID, then the numbers.
std::span<const Property* const> IdentityProperties();
// The connection's port: read-only as a property, since opening a line
// sets it (host_lines.h). Its row's operation opens the line.
const Property& PortProperty();
// The connection's frame grabber index, the other read-only property the
// connection sets.
const Property& GrabberProperty();
// The user ID: the one property set as free text.
const Property& UserIdProperty();

// A value given by the user, checked before anything is sent.
struct Checked {
  bool ok = false;
  int number = 0;     // kNumber, kListText (the index)
  std::string text;   // kText, kListText
  std::string error;  // when !ok: names the property and the valid values
};
Checked CheckValue(const Property& p, std::string_view value);
// The same for a number given as a number, and the refusal of one beyond
// any range (given as its text).
Checked CheckNumber(const Property& p, long long value);
std::string OutOfRange(const Property& p, std::string_view number);

// The valid values of a property, for messages and help: "-132..429" or
// the quoted list.
std::string DescribeValues(const Property& p);

// "NAME=value": numbers in decimal, texts in double quotes (backslash
// before \ " $ and `), so that the output is also valid shell.
std::string Quote(std::string_view text);
std::string FormatNumber(std::string_view name, int value);
std::string FormatText(std::string_view name, std::string_view text);

// ---- Through the model.

// Asks the camera for the property's value, which the model then keeps; 0
// at once for the connection's numbers, which are the model's own.
int Query(CVexCamInterface& model, const Property& p);
// Sends a checked value; the model's status.
int Apply(CVexCamInterface& model, const Property& p, const Checked& value);
// What the model holds: a number or a text.
using Value = std::variant<int, std::string>;
Value ValueOf(const CVexCamInterface& model, const Property& p);
// NAME=value of what the model holds.
std::string Format(const CVexCamInterface& model, const Property& p);

// A help text with the settings it names taken from the table: "{GA}" is
// the property of the setting with the camera mnemonic GA, "{SH.text}" the
// text property of a list setting, "{user-id}" the user ID's property,
// "{port}" the connection's port and "{fast-ms}" the fast reads' wait for
// silence in milliseconds. So an example stays true when a
// property is renamed. Anything else in braces stays as it is.
std::string WithNames(std::string_view text);

}  // namespace vexq4::hosts
