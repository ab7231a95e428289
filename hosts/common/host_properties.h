// The settings the command-line host reads and writes, named and checked as
// the control's automation properties are: the same names, the same ranges
// that the property setters accept, the same list texts for the ...Str
// names. Pure data and text handling; nothing here talks to a camera.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vexq4/model/settings.h"

namespace vexq4::cli {

enum class Kind {
  kNumber,    // a short, range-checked or not
  kListText,  // one text of a value list, exactly and case-sensitively
  kText,      // free text (the user ID)
  kReadOnly,  // shown by get/list, not settable (connection, identity)
  kReadOnlyText,
};

struct Property {
  std::string_view name;
  int dispid;  // the automation DISPID; 0 for the read-only extras
  Kind kind;
  int min;                                 // accepted range; for unchecked properties the range
  int max;                                 //   of the automation type (short)
  bool checked;                            // whether the control's setter checks the range itself
  std::span<const std::string_view> list;  // kListText: the texts by index
  std::string_view help;
  // A property the model announces that is no setting's (the connection's
  // port and frame grabber, the user ID): where the model keeps its value.
  const model::NotificationRow* value = nullptr;
};

// Every property in DISPID order, then the read-only identity values.
std::span<const Property> Properties();

// Names compare without regard to letter case, as automation names do.
const Property* FindProperty(std::string_view name);
// A near name for an unknown one ("did you mean ..."), or empty.
std::string SuggestProperty(std::string_view name);

// A value given on the command line, checked before anything is sent.
struct Checked {
  bool ok = false;
  int number = 0;     // kNumber, kListText (the index)
  std::string text;   // kText, kListText
  std::string error;  // when !ok: names the property and the valid values
};
Checked CheckValue(const Property& p, std::string_view value);

// "NAME=value": numbers in decimal, texts in double quotes (backslash
// before \ " $ and `), so that the output is also valid shell.
std::string Quote(std::string_view text);
std::string FormatNumber(std::string_view name, int value);
std::string FormatText(std::string_view name, std::string_view text);

// The valid values of a property, for messages and help: "-132..429" or
// the quoted list.
std::string DescribeValues(const Property& p);

// Splits one shell line into words: blanks separate, '...' and "..." quote,
// backslash escapes the next character outside single quotes. Returns
// nullopt for an unterminated quote.
std::optional<std::vector<std::string>> SplitWords(std::string_view line);

}  // namespace vexq4::cli
