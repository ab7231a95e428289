// DeviceIDs, DeviceID templates and XML IDs of the RX-Q4 (CLProtocol
// standard, sections 3 and 4): pure text, no camera.
//
// A DeviceID names the camera by five tokens, "VEX#RXQ4#RX_Q4CL#V120#SN10042":
// the manufacturer, the family (the XML's ModelName), the model (the
// camera's answer to MD?), the version ("V" and the firmware version, VN?)
// and the serial number ("SN" and the camera ID, ID?). Each token must be a
// C name ([A-Za-z_][A-Za-z0-9_]*): a character of the camera's answer
// outside that set becomes '_', and a model name that would start with a
// digit gets a leading "M".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexq4::clprotocol {

inline constexpr std::string_view kManufacturer = "VEX";
inline constexpr std::string_view kFamily = "RXQ4";
// What the camera's model name starts with (MD?): the family's cameras.
inline constexpr std::string_view kModelPrefix = "RX-Q4";

// What the camera told the probe.
struct Identity {
  std::string modelName;  // MD?, e.g. "RX-Q4CL"
  std::string cameraId;   // ID?, e.g. "10042"
  std::string firmware;   // VN?, digits, e.g. "120"
};

// A text as a C name token: characters outside [A-Za-z0-9_] become '_';
// `prefix` goes in front when the result would be empty or start with a
// digit (and always when `always` is set).
std::string NameToken(std::string_view text, std::string_view prefix, bool always = false);

// The five tokens of the camera's short DeviceID.
std::vector<std::string> DeviceIdTokens(const Identity& identity);
std::string Join(const std::vector<std::string>& tokens, char separator = '#');

// The short DeviceID templates this library offers, tab-separated.
std::string ShortTemplates();

// A DeviceID template or DeviceID handed to the probe, split: the
// driver's directory and file name when it is a long one ("DIR#FILE#"
// kept to answer in the same form), and the short tokens.
struct Hint {
  std::string longPrefix;           // "" for a short one
  std::vector<std::string> tokens;  // at least the manufacturer
};
// nullopt when it is not one of this library's: not "VEX", another
// family, a token that is no C name, more than five tokens.
std::optional<Hint> ParseHint(std::string_view text);

// Whether the camera's DeviceID matches the hint token by token (a
// template matches the DeviceIDs it is the left part of).
bool Matches(const Hint& hint, const std::vector<std::string>& deviceTokens);

// "SchemaVersion.1.1@VEX#RXQ4@XMLVersion.1.0.0": the schema version and
// the version of the one description (genapi_xml.h), valid for the family.
std::string XmlId();
// Whether `text` names that description (the ID itself, or with ".xml").
bool IsOurXmlId(std::string_view text);

// Recognising the camera by its answers: an RX-Q4 answers SH? with a
// shutter index, MD? with a name starting "RX-Q4", ID? with printable
// text, VN? with digits.
bool IsShutterAnswer(std::string_view value);
bool IsModelAnswer(std::string_view value);
bool IsCameraIdAnswer(std::string_view value);
bool IsFirmwareAnswer(std::string_view value);

}  // namespace vexq4::clprotocol
