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
    piece.clear();
    while (piece.size() < kShadingLinePiece) {
      if (pos_ == len_ && !Fill()) return !piece.empty();
      const char c = buffer_[pos_++];
      piece.push_back(c);
      if (c == '\n') break;
    }
    return true;
  }
  // Whether every read succeeded.
  bool ok() const { return !failed_; }

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
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
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
  const auto address = WholeNumber(line.substr(0, comma), kShadingPoints);
  if (!address || *address < 1) return result;
  std::string_view rest =
      comma == std::string_view::npos ? std::string_view{} : line.substr(comma + 1);
  for (int curve = 0; curve < kShadingCurves && comma != std::string_view::npos; ++curve) {
    const auto next = rest.find(',');
    const std::string_view field = rest.substr(0, next);
    if (!Trimmed(field).empty()) {
      const auto value = WholeNumber(field, kShadingValueMax);
      if (!value) return result;
      result.values[static_cast<std::size_t>(curve)] = *value;
    }
    if (next == std::string_view::npos) break;
    rest.remove_prefix(next + 1);
  }
  result.kind = ShadingLine::kData;
  result.address = *address;
  return result;
}

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
  if (!isOnline) return Status::kOffline;

  const std::string file(path);
  const int fd = vexq4::platform::OpenRegularFileForReading(file);
  if (fd < 0) return Status::kFileNotReadable;
  const FileDescriptor closer(fd);

  struct stat status {};
  if (::fstat(fd, &status) != 0) return Status::kFileNotReadable;
  if (static_cast<std::uintmax_t>(status.st_size) > kShadingFileMax)
    return Status::kNotAShadingTable;

  // The file is read aside and taken whole or not at all: a file that is
  // refused leaves the table as it was and sends nothing. A shading table
  // has its title first, then the points in order from address 1: a point
  // missing on the way would put every later one at the wrong address.
  // Points after the 128th are ignored, points missing at the end keep the
  // camera's values.
  std::array<int, kShadingValues> values{};
  std::array<bool, kShadingValues> filled{};
  PieceReader reader(fd);
  std::string piece;
  int rows = 0;
  bool titled = false;
  bool anyValue = false;
  while (rows < kShadingPoints && reader.Next(piece)) {
    const ShadingLine line = ParseShadingLine(piece);
    switch (line.kind) {
      case ShadingLine::kBlank:
        continue;
      case ShadingLine::kTitle:
        if (rows > 0) return Status::kNotAShadingTable;
        titled = true;
        continue;
      case ShadingLine::kData:
        if (!titled || line.address != rows + 1) return Status::kNotAShadingTable;
        for (int curve = 0; curve < kShadingCurves; ++curve) {
          const auto& value = line.values[static_cast<std::size_t>(curve)];
          if (!value) continue;
          const std::size_t i = static_cast<std::size_t>(curve * kShadingPoints + rows);
          values[i] = *value;
          filled[i] = true;
          anyValue = true;
        }
        ++rows;
        continue;
      case ShadingLine::kOther:
        return Status::kNotAShadingTable;
    }
  }
  if (!reader.ok()) return Status::kFileNotReadable;
  if (!anyValue) return Status::kNotAShadingTable;

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
