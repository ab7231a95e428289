#include "properties.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "vexq4/model/VexCamInterface.h"

namespace vexq4::cli {
namespace {

using namespace std::string_view_literals;

// The lists are the model's own, so a text accepted here is one the model
// stores and the settings files hold.
using model::kAutoWhiteAreaList;
using model::kBinningList;
using model::kOnePushResultList;
using model::kPartialScanList;
using model::kShutterSpeedList;
using model::kTriggerTypeList;
using model::kWhiteBalanceList;

constexpr int kShortMin = -32768;
constexpr int kShortMax = 32767;

constexpr Property Num(std::string_view name, int dispid, int min, int max, std::string_view help) {
  return {name, dispid, Kind::kNumber, min, max, true, {}, help};
}
// No range check in the control's setter: any value of the property's type
// goes to the model.
constexpr Property Free(std::string_view name, int dispid, std::string_view help) {
  return {name, dispid, Kind::kNumber, kShortMin, kShortMax, false, {}, help};
}
constexpr Property List(std::string_view name, int dispid, std::span<const std::string_view> list,
                        std::string_view help) {
  return {name, dispid, Kind::kListText, 0, static_cast<int>(list.size()) - 1, true, list, help};
}
constexpr Property ReadOnly(std::string_view name, int dispid, std::string_view help) {
  return {name, dispid, Kind::kReadOnly, kShortMin, kShortMax, false, {}, help};
}
constexpr Property ReadOnlyText(std::string_view name, std::string_view help) {
  return {name, 0, Kind::kReadOnlyText, 0, 0, false, {}, help};
}

// The index properties without a check of the control's own are refused by
// the model's set operation (-1) beyond their list; the host checks the
// same range first, so the refusal is reported instead of passing silently.
constexpr std::array kProperties = {
    ReadOnly("ComPort", 1, "port number of the connection (set with --com)"),
    Num("ShutterSpeedIndex", 6, 0, 11, "index into the ShutterSpeedStr list"),
    List("ShutterSpeedStr", 7, kShutterSpeedList, "shutter speed"),
    Num("TriggerTypeIndex", 8, 0, 4, "index into the TriggerTypeStr list"),
    List("TriggerTypeStr", 9, kTriggerTypeList, "trigger mode"),
    Free("TriggerPolarity", 10, "0 active low, 1 active high"),
    List("PartialScanStr", 11, kPartialScanList, "partial scan"),
    Num("MasterGainLevel", 12, -132, 429, "master gain (0 is 0 dB)"),
    Num("PartialScanIndex", 13, 0, 3, "index into the PartialScanStr list"),
    Free("ShutterMode", 14,
         "0 shutter speed, 1 programmable exposure (RGB common), 2 (RGB individual)"),
    Free("RCTFVALType", 15, "0 Camera Link mode, 1 VEX Standard mode"),
    Free("Smearless", 16, "0 off, 1 on"),
    Num("ProgrammableExposure", 17, 0, 791, "programmable exposure, RGB common"),
    Free("ColorBar", 18, "0 off, 1 on"),
    Free("TriggerInput", 19, "0 Camera Link connector, 1 12-pin connector"),
    Free("Accumulation", 20, "0 LVAL synchronous, 1 LVAL asynchronous"),
    Num("BinningIndex", 21, 0, 1, "index into the BinningStr list"),
    List("BinningStr", 22, kBinningList, "binning"),
    Free("OutputBitAllocation", 23, "0 10-bit, 1 8-bit output"),
    ReadOnly("FrameGrabberIndex", 24, "frame grabber of the connection (0: COM port)"),
    Num("BlueGainLevel", 25, -231, 231, "blue gain (0 is 0 dB)"),
    Num("BlueBlackLevel", 26, 0, 1023, "blue black level"),
    Num("ProgrammableExposureRed", 27, 0, 791, "programmable exposure, red"),
    Num("ProgrammableExposureGreen", 28, 0, 791, "programmable exposure, green"),
    Num("ProgrammableExposureBlue", 29, 0, 791, "programmable exposure, blue"),
    Num("BlueKneePoint", 30, 0, 1023, "blue knee point"),
    Num("RedKneeSlope", 31, 1, 4095, "red knee slope"),
    Num("RedGainLevel", 32, -231, 231, "red gain (0 is 0 dB)"),
    Num("RedBlackLevel", 33, 0, 1023, "red black level"),
    Num("GreenKneePoint", 34, 0, 1023, "green knee point"),
    Num("RedKneePoint", 35, 0, 1023, "red knee point"),
    Free("KneeSelect", 36, "0 on, 1 off"),
    Num("WhiteBalanceIndex", 37, 0, 4, "index into the WhiteBalanceStr list"),
    List("WhiteBalanceStr", 38, kWhiteBalanceList, "white balance mode"),
    Property{"UserID", 39, Kind::kText, 1, 16, false, {}, "user ID, 1 to 16 printable characters"},
    Num("GreenKneeSlope", 40, 1, 4095, "green knee slope"),
    Num("BlueKneeSlope", 41, 1, 4095, "blue knee slope"),
    Num("GreenBlackLevel", 42, 0, 1023, "green black level"),
    Free("ShadingMode", 43, "0 on, 1 off"),
    Num("AutoWhiteAreaIndex", 44, 0, 9, "index into the AutoWhiteAreaStr list"),
    List("AutoWhiteAreaStr", 45, kAutoWhiteAreaList, "auto white balance area"),
    Num("Red3200KWBalPreset", 46, -231, 231, "white balance preset, red, 3200 K"),
    Num("Blue3200KWBalPreset", 47, -231, 231, "white balance preset, blue, 3200 K"),
    Num("Red4600KWBalPreset", 48, -231, 231, "white balance preset, red, 4600 K"),
    Num("Blue4600KWBalPreset", 49, -231, 231, "white balance preset, blue, 4600 K"),
    Num("Red5600KWBalPreset", 50, -231, 231, "white balance preset, red, 5600 K"),
    Num("Blue5600KWBalPreset", 51, -231, 231, "white balance preset, blue, 5600 K"),
    ReadOnlyText("CameraID", "camera ID"),
    ReadOnlyText("ModelName", "model name"),
    ReadOnly("FirmwareVersion", 0, "firmware version"),
    ReadOnly("EEPROMCurrentAreaNo", 0, "settings area the camera runs from (0 factory, 1..3 user)"),
};

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

std::span<const Property> Properties() { return kProperties; }

const Property* FindProperty(std::string_view name) {
  for (const Property& p : kProperties)
    if (EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

std::string SuggestProperty(std::string_view name) {
  const Property* best = nullptr;
  std::size_t bestDistance = 4;  // beyond three edits it is no longer a typo
  for (const Property& p : kProperties) {
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
      return "1 to 16 printable characters";
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
      if (value.size() > 16 || !printable) {
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
