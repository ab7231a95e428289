#include "device_id.h"

#include <algorithm>

#include "vexq4/genicam/genapi_xml.h"
#include "vexq4/model/settings.h"

namespace vexq4::clprotocol {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsCName(std::string_view token) {
  return !token.empty() && !IsDigit(token.front()) &&
         std::all_of(token.begin(), token.end(), IsNameChar);
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> out;
  for (;;) {
    const std::size_t at = text.find(separator);
    out.emplace_back(text.substr(0, at));
    if (at == std::string_view::npos) return out;
    text.remove_prefix(at + 1);
  }
}

bool Printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b < 0x7f;
  });
}

}  // namespace

std::string NameToken(std::string_view text, std::string_view prefix, bool always) {
  std::string out;
  for (char c : text) out += IsNameChar(c) ? c : '_';
  if (always || out.empty() || IsDigit(out.front())) out.insert(0, prefix);
  return out;
}

std::vector<std::string> DeviceIdTokens(const Identity& identity) {
  return {std::string(kManufacturer), std::string(kFamily), NameToken(identity.modelName, "M"),
          NameToken(identity.firmware, "V", true), NameToken(identity.cameraId, "SN", true)};
}

std::string Join(const std::vector<std::string>& tokens, char separator) {
  std::string out;
  for (const std::string& t : tokens) {
    if (!out.empty()) out += separator;
    out += t;
  }
  return out;
}

std::string ShortTemplates() { return std::string(kManufacturer) + "#" + std::string(kFamily); }

std::optional<Hint> ParseHint(std::string_view text) {
  std::vector<std::string> tokens = Split(text, '#');
  Hint hint;
  if (tokens.front() != kManufacturer && tokens.size() >= 3 && tokens[2] == kManufacturer) {
    // A long one: the driver's directory and file name first.
    hint.longPrefix = tokens[0] + "#" + tokens[1] + "#";
    tokens.erase(tokens.begin(), tokens.begin() + 2);
  }
  if (tokens.front() != kManufacturer || tokens.size() > 5) return std::nullopt;
  if (tokens.size() >= 2 && tokens[1] != kFamily) return std::nullopt;
  if (!std::all_of(tokens.begin(), tokens.end(), IsCName)) return std::nullopt;
  hint.tokens = std::move(tokens);
  return hint;
}

bool Matches(const Hint& hint, const std::vector<std::string>& deviceTokens) {
  if (hint.tokens.size() > deviceTokens.size()) return false;
  return std::equal(hint.tokens.begin(), hint.tokens.end(), deviceTokens.begin());
}

std::string XmlId() {
  // The description's schema is GenApi 1.1 (genapi_xml.cpp).
  return "SchemaVersion.1.1@" + ShortTemplates() + "@XMLVersion." +
         std::to_string(genicam::kXmlMajorVersion) + "." +
         std::to_string(genicam::kXmlMinorVersion) + "." +
         std::to_string(genicam::kXmlSubMinorVersion);
}

bool IsOurXmlId(std::string_view text) {
  const std::string id = XmlId();
  return text == id || text == id + ".xml";
}

bool IsShutterAnswer(std::string_view value) {
  if (value.empty() || value.size() > 2 || !std::all_of(value.begin(), value.end(), IsDigit))
    return false;
  return std::stoi(std::string(value)) < static_cast<int>(model::kShutterSpeedList.size());
}

bool IsModelAnswer(std::string_view value) {
  return value.starts_with(kModelPrefix) && Printable(value);
}

bool IsCameraIdAnswer(std::string_view value) { return !value.empty() && Printable(value); }

bool IsFirmwareAnswer(std::string_view value) {
  return !value.empty() && value.size() <= 9 && std::all_of(value.begin(), value.end(), IsDigit);
}

}  // namespace vexq4::clprotocol
