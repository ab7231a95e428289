// The scan as vexq4 ports prints it: one line a port with key=value
// fields, or one JSON document.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "host_properties.h"
#include "serial_ports.h"

namespace vexq4::cli {
namespace {

// Printable on one line: control characters of a device's strings become '?'.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

// A value as it stands when it is a plain word, else quoted.
std::string Value(std::string_view text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("/._:-+,@").find(c) != std::string_view::npos;
  });
  return plain ? std::string(text) : hosts::Quote(OneLine(text));
}

void Field(std::string& line, std::string_view key, std::string_view value) {
  line += ' ';
  line += key;
  line += '=';
  line += Value(value);
}

// The length of the well-formed UTF-8 sequence at the start of `text`
// (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF), or
// 0 when there is none.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

// A JSON string. The kernel's strings are bytes (a USB product string may
// be Latin-1): each byte that is not part of well-formed UTF-8 becomes
// U+FFFD, so that the document stays valid for every JSON reader.
std::string Json(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const char c = text.front();
    const auto u = static_cast<unsigned char>(c);
    std::size_t used = 1;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else if (const std::size_t length = Utf8Length(text); length == 0) {
      out += "\\ufffd";
    } else {
      out += text.substr(0, length);
      used = length;
    }
    text.remove_prefix(used);
  }
  return out + "\"";
}

std::string JsonList(const std::vector<std::string>& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + Json(list[i]);
  return out + "]";
}

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : Json(text); }

}  // namespace

std::string JsonString(std::string_view text) { return Json(text); }

std::string FormatPortLine(const SerialPort& port, bool withProbe) {
  // An odd device name (a blank, a line end in it) is quoted as the values are.
  std::string line = Value(port.device);
  for (const auto& name : port.byId) Field(line, "by-id", name);
  for (const auto& name : port.byPath) Field(line, "by-path", name);
  if (!port.driver.empty()) Field(line, "driver", port.driver);
  if (!port.vendorId.empty()) Field(line, "usb", port.vendorId + ":" + port.productId);
  if (!port.serialNumber.empty()) Field(line, "serial", port.serialNumber);
  if (!port.manufacturer.empty()) Field(line, "manufacturer", port.manufacturer);
  if (!port.product.empty()) Field(line, "product", port.product);
  if (port.console) Field(line, "console", "yes");
  Field(line, "access", port.access.mayOpen ? "yes" : "no");
  if (!port.access.why.empty()) Field(line, "why", port.access.why);
  if (!port.holders.empty()) {
    std::string holders;
    for (const PortHolder& h : port.holders)
      holders += (holders.empty() ? "" : ",") + std::to_string(h.pid) + ":" + h.name;
    Field(line, "held-by", holders);
  }
  if (withProbe) {
    const PortProbe& p = port.probe;
    if (p.found) {
      Field(line, "CameraID", p.cameraId);
      Field(line, "ModelName", p.modelName);
    } else {
      Field(line, "camera", p.probed ? "none" : "not-probed");
      if (!p.probed && !p.notProbed.empty()) Field(line, "probe", p.notProbed);
      if (p.probed && !p.why.empty()) Field(line, "probe", p.why);
    }
  }
  if (!port.hints.empty()) {
    std::string hints;
    for (const auto& h : port.hints) hints += (hints.empty() ? "" : "; ") + h;
    Field(line, "hint", hints);
  }
  return line;
}

std::string FormatPortsJson(const PortScan& scan, bool withProbe) {
  std::string out = "{\n  \"ports\": [";
  for (std::size_t i = 0; i < scan.ports.size(); ++i) {
    const SerialPort& p = scan.ports[i];
    out += i ? ",\n" : "\n";
    out += "    {\"device\": " + Json(p.device);
    out += ", \"byId\": " + JsonList(p.byId);
    out += ", \"byPath\": " + JsonList(p.byPath);
    out += ", \"driver\": " + JsonOrNull(p.driver);
    out += ", \"vendorId\": " + JsonOrNull(p.vendorId);
    out += ", \"productId\": " + JsonOrNull(p.productId);
    out += ", \"serialNumber\": " + JsonOrNull(p.serialNumber);
    out += ", \"manufacturer\": " + JsonOrNull(p.manufacturer);
    out += ", \"product\": " + JsonOrNull(p.product);
    out += std::string(", \"console\": ") + (p.console ? "true" : "false");
    out += std::string(", \"mayOpen\": ") + (p.access.mayOpen ? "true" : "false");
    out += ", \"why\": " + JsonOrNull(p.access.why);
    out += ", \"heldBy\": [";
    for (std::size_t h = 0; h < p.holders.size(); ++h)
      out += (h ? ", " : "") + std::string("{\"pid\": ") + std::to_string(p.holders[h].pid) +
             ", \"name\": " + Json(p.holders[h].name) + "}";
    out += "]";
    out += ", \"hints\": " + JsonList(p.hints);
    if (withProbe) {
      const PortProbe& pr = p.probe;
      out += ", \"camera\": ";
      if (pr.found)
        out +=
            "{\"CameraID\": " + Json(pr.cameraId) + ", \"ModelName\": " + Json(pr.modelName) + "}";
      else
        out += "null";
      out += std::string(", \"probed\": ") + (pr.probed ? "true" : "false");
      out += ", \"probe\": " + JsonOrNull(pr.probed ? pr.why : pr.notProbed);
    }
    out += "}";
  }
  out += scan.ports.empty() ? "],\n" : "\n  ],\n";
  out += "  \"hints\": " + JsonList(scan.hints) + "\n}";
  return out;
}

}  // namespace vexq4::cli
