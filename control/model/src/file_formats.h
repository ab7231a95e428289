// Pieces of the model's file formats that need no camera: the padded
// fields of the camera data report and the lines of the shading table file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vexq4::model {

// ---- Camera data report (*.txt)

// Width of every field of the report.
inline constexpr std::size_t kReportFieldWidth = 33;

// `text` followed by blanks up to kReportFieldWidth; longer texts unchanged.
std::string Pad(std::string_view text);

// ---- Shading table file (*.csv)

inline constexpr int kShadingPoints = 128;  // points per curve
inline constexpr int kShadingCurves = 6;    // H red, green, blue; V red, green, blue
inline constexpr int kShadingValues = kShadingPoints * kShadingCurves;
// Longest piece of a line the reader takes at once; longer lines are read
// as several pieces, each handled as a line.
inline constexpr std::size_t kShadingLinePiece = 4499;

// The whole file for the 768 table values in curve order (the read view,
// starting at the first value): three title lines and 128 data lines.
std::string FormatShadingFile(std::span<const int> values);

// Largest value of the table: each is an unsigned 16-bit word.
inline constexpr int kShadingValueMax = 65535;

// Largest shading file read: a table is about 4 kB.
inline constexpr std::uintmax_t kShadingFileMax = 1024 * 1024;

// What one line (one piece) of a shading file is. A title line is one of
// the three the save writes (blanks around it, letter case and trailing
// empty fields aside); a data line is its address (the ADR column) and up
// to six value fields, each a whole number of 0..kShadingValueMax or empty
// (the camera's value is kept), fields after the sixth ignored. Anything
// else is no line of a shading table, and `problem` says why, in words an
// operator mends the file by.
struct ShadingLine {
  enum Kind { kBlank, kTitle, kData, kOther } kind = kOther;
  int address = 0;
  std::array<std::optional<int>, kShadingCurves> values{};
  std::string problem;
};
ShadingLine ParseShadingLine(std::string_view line);

}  // namespace vexq4::model
