// The RX-Q4's GenApi description (schema 1.1, RegisterDescription, one
// port "Device"), generated from Features(), and the same mapping as a
// Markdown table for the documentation.
#pragma once

#include <cstdint>
#include <string>

namespace vexq4::genicam {

// The description's own version (RegisterDescription's MajorVersion,
// MinorVersion, SubMinorVersion): raised when the features change meaning.
inline constexpr int kXmlMajorVersion = 1;
inline constexpr int kXmlMinorVersion = 0;
inline constexpr int kXmlSubMinorVersion = 0;

// The whole document, UTF-8, padded with blanks after the root element to
// a multiple of 4 bytes (clients read device memory in 4-byte units). Built
// once; the same bytes every time.
const std::string& XmlText();

// The file name the description goes by ("VEX_RXQ4_1_0_0.xml").
std::string XmlFileName();

// GigE Vision's first-URL text: "Local:NAME;ADDRESS;LENGTH" (hexadecimal).
std::string XmlLocalUrl();

// The mapping as a Markdown table: one line per feature, and for a
// selected feature one per selector entry.
std::string MappingTable();

}  // namespace vexq4::genicam
