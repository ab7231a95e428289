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

// Applies one line (one piece) of a shading file as point `row` of the 768
// values in curve order (the send view). Returns false, changing nothing,
// when the line is not a data line: its first field does not begin with a
// number from 1 to 128. Otherwise the first six following fields that begin
// with a number replace the point's values of their curves; others are kept.
bool ApplyShadingLine(std::string_view line, int row, std::span<int> values);

}  // namespace vexq4::model
