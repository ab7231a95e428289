// Pieces of the model's file formats that need no camera: the padded
// fields of the camera data report and the lines of the shading table file.
#pragma once

#include <cstddef>
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

// What one line (one piece) of a shading file gave.
struct ShadingLine {
  bool data = false;        // a data line: its first field is a number 1..128
  int values = 0;           // value fields that began with a number
  bool outOfRange = false;  // one of them lies outside 0..kShadingValueMax
};

// Applies one line of a shading file as point `row` of the 768 values in
// curve order (the send view). A line that is not a data line changes
// nothing. Of a data line, each of the first six value fields that begins
// with a number replaces the point's value of its curve and marks it in
// `filled`; the others are kept.
ShadingLine ApplyShadingLine(std::string_view line, int row, std::span<int> values,
                             std::span<bool> filled);

}  // namespace vexq4::model
