// The camera's dynamic shading table: auto shading, and moving the table
// between the camera and CSV files (*.csv).
//
// The model keeps the table in `shadingTable` with two views: the table
// read from the camera starts at entry 2 (after the frame's two header
// words), the table sent to the camera starts at entry 0. A file saved from
// the read view and loaded into the send view puts every value back where
// it came from.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "VexQ4Comm.h"
#include "file_formats.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/file_descriptor.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::model {
namespace {

constexpr std::string_view kShadingTitle =
    ",,,DYNAMIC SHADING,,,\r\n"
    ",,H,,,V,\r\n"
    "ADR,R,G,B,R,G,B\r\n";

constexpr int kReadViewStart = 2;

// Reads a file as the shading loader takes it: lines, and lines longer than
// kShadingLinePiece characters (line end included) in pieces of that size.
class PieceReader {
 public:
  explicit PieceReader(int fd) : fd_(fd) {}

  // The next piece, line end included; false at the end or on a read error.
  bool Next(std::string& piece) {
    if (failed_) return false;
    continued_ = !atLineStart_;
    if (atLineStart_) ++line_;
    piece.clear();
    while (piece.size() < kShadingLinePiece) {
      if (pos_ == len_ && !Fill()) return !piece.empty();
      const char c = buffer_[pos_++];
      piece.push_back(c);
      if (c == '\n') break;
    }
    atLineStart_ = piece.back() == '\n';
    return true;
  }
  // Whether every read succeeded.
  bool ok() const { return !failed_; }
  // The file's line (from 1) the last piece is of, and whether that piece
  // goes on with a line longer than one piece.
  int line() const { return line_; }
  bool continued() const { return continued_; }

 private:
  bool Fill() {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
      if (n > 0) {
        pos_ = 0;
        len_ = static_cast<std::size_t>(n);
        return true;
      }
      if (n == 0) return false;
      if (errno != EINTR) {
        failed_ = true;
        return false;
      }
    }
  }

  int fd_;
  bool failed_ = false;
  char buffer_[16384];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  int line_ = 0;
  bool atLineStart_ = true;
  bool continued_ = false;
};

}  // namespace

std::string FormatShadingFile(std::span<const int> values) {
  std::string out(kShadingTitle);
  out.reserve(kShadingTitle.size() + kShadingPoints * 48);
  char line[160];
  for (int k = 0; k < kShadingPoints; ++k) {
    auto at = [&](int curve) {
      const std::size_t i = static_cast<std::size_t>(curve * kShadingPoints + k);
      return i < values.size() ? values[i] : 0;
    };
    const int n = std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d,%d,%d\r\n", k + 1, at(0), at(1),
                                at(2), at(3), at(4), at(5));
    out.append(line, static_cast<std::size_t>(n));
  }
  return out;
}

namespace {

std::string_view Trimmed(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// A whole number of decimal digits (blanks around it allowed), at most
// `max`; nullopt for anything else, a sign or a unit included.
std::optional<int> WholeNumber(std::string_view field, int max) {
  field = Trimmed(field);
  if (field.empty() || field.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > max) return std::nullopt;
  return value;
}

// The value columns as the title names them: horizontal, then vertical.
constexpr std::array<std::string_view, kShadingCurves> kColumns = {"H R", "H G", "H B",
                                                                   "V R", "V G", "V B"};

// A piece of the file as a message quotes it: at most 20 characters, and
// bytes that are not printable ASCII written as \xNN.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 20;
  std::string out = "\"";
  for (const char c : text.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
      out.push_back(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out + (text.size() > kShown ? "...\"" : "\"");
}

// Digits, maybe after a minus: a number, though one out of its range when
// WholeNumber refused it.
bool IsNumber(std::string_view field) {
  field = Trimmed(field);
  if (field.starts_with('-')) field.remove_prefix(1);
  return !field.empty() &&
         std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string ValueProblem(std::string_view field, int curve) {
  const std::string value = "value " + Quoted(Trimmed(field)) + " under " +
                            std::string(kColumns[static_cast<std::size_t>(curve)]);
  return IsNumber(field) ? value + " is outside 0.." + std::to_string(kShadingValueMax)
                         : value + " is not a number";
}

bool IsTitle(std::string_view line) {
  while (!line.empty() && line.back() == ',') line.remove_suffix(1);
  line = Trimmed(line);
  while (!line.empty() && line.back() == ',') line.remove_suffix(1);
  for (std::string_view title : {",,,DYNAMIC SHADING", ",,H,,,V", "ADR,R,G,B,R,G,B"}) {
    if (line.size() == title.size() &&
        std::equal(line.begin(), line.end(), title.begin(),
                   [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
      return true;
  }
  return false;
}

}  // namespace

ShadingLine ParseShadingLine(std::string_view line) {
  ShadingLine result;
  if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);  // a byte order mark
  if (Trimmed(line).empty()) {
    result.kind = ShadingLine::kBlank;
    return result;
  }
  if (IsTitle(Trimmed(line))) {
    result.kind = ShadingLine::kTitle;
    return result;
  }
  line = Trimmed(line);
  const auto comma = line.find(',');
  const std::string_view first = line.substr(0, comma);
  const auto address = WholeNumber(first, kShadingPoints);
  if (!address || *address < 1) {
    result.problem = IsNumber(first) ? "point number " + Quoted(Trimmed(first)) +
                                           " is outside 1.." + std::to_string(kShadingPoints)
                                     : Quoted(line) +
                                           " is neither a title line nor a point (a point "
                                           "begins with its number, 1.." +
                                           std::to_string(kShadingPoints) + ")";
    return result;
  }
  std::string_view rest =
      comma == std::string_view::npos ? std::string_view{} : line.substr(comma + 1);
  for (int curve = 0; curve < kShadingCurves && comma != std::string_view::npos; ++curve) {
    const auto next = rest.find(',');
    const std::string_view field = rest.substr(0, next);
    if (!Trimmed(field).empty()) {
      const auto value = WholeNumber(field, kShadingValueMax);
      if (!value) {
        result.problem = ValueProblem(field, curve);
        return result;
      }
      result.values[static_cast<std::size_t>(curve)] = *value;
    }
    if (next == std::string_view::npos) break;
    rest.remove_prefix(next + 1);
  }
  result.kind = ShadingLine::kData;
  result.address = *address;
  return result;
}

namespace {

// What a shading file gives the table: a value for each entry it fills.
struct ShadingFileValues {
  std::array<int, kShadingValues> values{};
  std::array<bool, kShadingValues> filled{};
};

// Takes the file apart, taking it whole or not at all. A shading table has
// its title first, then the points in order from address 1: a point
// missing on the way would put every later one at the wrong address.
// Points after the 128th are ignored, points missing at the end keep the
// camera's values. A file that is no table gives kNotAShadingTable and, in
// `problem`, its line and what is wrong with it.
Status ReadShadingValues(int fd, ShadingFileValues& file, std::string& problem) {
  PieceReader reader(fd);
  std::string piece;
  int rows = 0;
  bool titled = false;
  bool anyValue = false;
  const auto refuse = [&](const std::string& what) {
    // What follows the first piece of an overlong line is no line of its
    // own: that line has far more fields than a point.
    problem = "line " + std::to_string(reader.line()) + ": " +
              (reader.continued() ? "longer than " + std::to_string(kShadingLinePiece) +
                                        " characters, too many fields (a point has its "
                                        "number and " +
                                        std::to_string(kShadingCurves) + " values)"
                                  : what);
    return Status::kNotAShadingTable;
  };
  while (rows < kShadingPoints && reader.Next(piece)) {
    const ShadingLine line = ParseShadingLine(piece);
    switch (line.kind) {
      case ShadingLine::kBlank:
        continue;
      case ShadingLine::kTitle:
        if (rows > 0) return refuse("a title line after the points");
        titled = true;
        continue;
      case ShadingLine::kData: {
        const std::string point = "point " + std::to_string(line.address);
        const std::string due = "point " + std::to_string(rows + 1);
        if (!titled) return refuse(point + " before the title lines");
        if (line.address > rows + 1) return refuse(point + " where " + due + " is missing");
        if (line.address < rows + 1) return refuse(point + " out of order, " + due + " was due");
        for (int curve = 0; curve < kShadingCurves; ++curve) {
          const auto& value = line.values[static_cast<std::size_t>(curve)];
          if (!value) continue;
          const std::size_t i = static_cast<std::size_t>(curve * kShadingPoints + rows);
          file.values[i] = *value;
          file.filled[i] = true;
          anyValue = true;
        }
        ++rows;
        continue;
      }
      case ShadingLine::kOther:
        return refuse(line.problem);
    }
  }
  if (!reader.ok()) return Status::kFileNotReadable;
  if (!anyValue) {
    problem = rows > 0 ? "no value in it: every field of its points is empty"
              : titled ? "no points after the title lines"
                       : "no title lines and no points in it";
    return Status::kNotAShadingTable;
  }
  return Status::kOk;
}

}  // namespace
}  // namespace vexq4::model

int CVexCamInterface::StartAutoShadingCorrection() {
  if (!isOnline) return -5;
  // The camera computes a new table: whatever the model held of it is old.
  shadingKnown_ = ShadingKnown::kNothing;
  // The library gives this one command 10 s: the camera computes the table.
  const int result = VexQ4SendCameraData(comPort, ATSH, 0);
  ReportCommand(vexq4::model::Direction::kCommand, "ATSH", 0, "", result);
  if (result != 0) CheckConnection();
  return result;
}

int CVexCamInterface::SaveShadingDataIntoFile(std::string_view path) {
  return CodeOf(SaveShadingFile(path));
}

int CVexCamInterface::LoadShadingDataFromFile(std::string_view path) {
  return CodeOf(LoadShadingFile(path));
}

vexq4::model::Status CVexCamInterface::SaveShadingFile(std::string_view path) {
  using namespace vexq4::model;
  constexpr std::string_view kOperation = "SaveShadingDataIntoFile";
  if (!isOnline) return Status::kOffline;

  if (!ReportProgress(kOperation, 0, 1)) return LibraryStatus(kStopped);
  const int read = VexQ4GetShadingData(comPort, shadingTable.data());
  if (read == 0) shadingKnown_ = ShadingKnown::kRead;
  // Stopped during the frame: no file (an existing one stays), and no
  // probe, since the camera is still there.
  if (StopRequested()) return LibraryStatus(kStopped);
  ReportProgress(kOperation, 1, 1);
  if (read != 0) {
    // Whatever the probe says, the table in memory is not the camera's: a
    // file written from it would pass stale values off as the camera's.
    CheckConnection();
    return LibraryStatus(read);
  }

  const std::span<const int> values(shadingTable.data() + kReadViewStart, kShadingValues);
  return vexq4::platform::WriteFileAtomically(std::filesystem::path{std::string(path)},
                                              FormatShadingFile(values))
             ? Status::kOk
             : Status::kFileNotWritable;
}

vexq4::model::Status CVexCamInterface::LoadShadingFile(std::string_view path) {
  using namespace vexq4::model;
  constexpr std::string_view kOperation = "LoadShadingDataFromFile";
  shadingFileProblem_.clear();
  if (!isOnline) return Status::kOffline;

  const int fd = vexq4::platform::OpenRegularFileForReading(std::string(path));
  if (fd < 0) return Status::kFileNotReadable;
  const vexq4::platform::FileDescriptor closer(fd);

  struct stat status {};
  if (::fstat(fd, &status) != 0) return Status::kFileNotReadable;
  if (static_cast<std::uintmax_t>(status.st_size) > kShadingFileMax) {
    shadingFileProblem_ =
        "larger than " + std::to_string(kShadingFileMax) + " bytes, far more than a shading table";
    return Status::kNotAShadingTable;
  }

  // A file that is refused leaves the table as it was and sends nothing.
  ShadingFileValues file;
  if (const Status read = ReadShadingValues(fd, file, shadingFileProblem_); read != Status::kOk)
    return read;
  const auto& values = file.values;
  const auto& filled = file.filled;

  const bool complete = std::all_of(filled.begin(), filled.end(), [](bool f) { return f; });
  const int steps = complete || shadingKnown_ != ShadingKnown::kNothing ? 1 : 2;
  int step = 0;
  // Entries the file leaves unfilled keep the camera's own values: from
  // the table read or sent on this connection, else read now.
  std::array<int, kShadingValues> base{};
  if (!complete) {
    if (shadingKnown_ == ShadingKnown::kNothing) {
      if (!ReportProgress(kOperation, step++, steps)) return LibraryStatus(kStopped);
      const int read = VexQ4GetShadingData(comPort, shadingTable.data());
      if (StopRequested()) {
        if (read == 0) shadingKnown_ = ShadingKnown::kRead;
        return LibraryStatus(kStopped);
      }
      if (read != 0) {
        ReportProgress(kOperation, steps, steps);
        CheckConnection();
        return LibraryStatus(read);
      }
      shadingKnown_ = ShadingKnown::kRead;
    }
    const int start = shadingKnown_ == ShadingKnown::kRead ? kReadViewStart : 0;
    std::copy_n(shadingTable.begin() + start, kShadingValues, base.begin());
  }
  if (!ReportProgress(kOperation, step++, steps))
    return LibraryStatus(kStopped);  // the table stays as known
  for (std::size_t i = 0; i < values.size(); ++i) shadingTable[i] = filled[i] ? values[i] : base[i];
  const int sent = VexQ4SendShadingData(comPort, shadingTable.data());
  if (sent != 0 && StopRequested()) {
    // Cut short: the camera dropped the frame and keeps its table, which
    // is no longer the one held here. It is still there: no probe.
    shadingKnown_ = ShadingKnown::kNothing;
    return LibraryStatus(kStopped);
  }
  ReportProgress(kOperation, steps, steps);
  if (sent != 0) {
    shadingKnown_ = ShadingKnown::kNothing;  // the camera may hold part of it
    CheckConnection();
    return LibraryStatus(sent);
  }
  shadingKnown_ = ShadingKnown::kSent;
  return Status::kOk;
}
