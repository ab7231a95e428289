// The camera data report (*.txt): the camera's identity and every setting
// of its working registers and of its four stored areas, side by side.
//
// A stored area can only be read by loading it into the working registers,
// so the report ends with a write-all that gives the camera back the
// model's cached settings. A model that does not hold the camera's
// settings (not synchronized) reads them all first, or that write-all
// would give the camera the model's initial values instead of its own.
// Everything else reads the camera directly: no message lines, no status
// flags, no cache change.
#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "VexQ4Comm.h"
#include "file_formats.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::model {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kOperation = "WriteCameraDataToFile";

constexpr std::array<std::string_view, 5> kColumns = {"Current Settings", "Factory Settings",
                                                      "User Area 1", "User Area 2", "User Area 3"};

// A value outside its texts is shown as its number rather than as nothing.
std::string CellText(const SettingRow& row, int value) {
  const std::span<const std::string_view> texts =
      row.reportTexts.empty() ? row.list : row.reportTexts;
  if (value >= 0 && static_cast<std::size_t>(value) < texts.size())
    return std::string(texts[static_cast<std::size_t>(value)]);
  return std::to_string(value);
}

// The text in a library buffer, never past its end.
template <std::size_t N>
std::string_view BufferText(const char (&buffer)[N]) {
  return {buffer, ::strnlen(buffer, N)};
}

void AddIdentityLine(std::string& out, std::string_view label, std::string_view value) {
  out.append(Pad(label)).append(",").append(Pad(value)).append(kCrLf);
}

// Identity: each line is written after its own read; a failed read ends
// the block and leaves its cell empty. The first failure's code, or 0.
template <class Exchange>
int ReadIdentity(int port, std::string& identity, Exchange&& exchange) {
  constexpr int kStopped = CVexCamInterface::kStopped;
  int status = 0;
  {
    char name[VEXQ4_MODEL_NAME_SIZE] = {};
    status = exchange() ? VexQ4GetModelName(port, name) : kStopped;
    AddIdentityLine(identity, "Model Name", status == 0 ? BufferText(name) : "");
  }
  if (status == 0) {
    char id[VEXQ4_CAMERA_ID_SIZE] = {};
    status = exchange() ? VexQ4GetCameraID(port, id) : kStopped;
    AddIdentityLine(identity, "Camera ID", status == 0 ? BufferText(id) : "");
  }
  if (status == 0) {
    char user[VEXQ4_USER_ID_SIZE] = {};
    status = exchange() ? VexQ4GetUserID(port, user) : kStopped;
    AddIdentityLine(identity, "User ID", status == 0 ? BufferText(user) : "");
  }
  if (status == 0) {
    int version = 0;
    status = exchange() ? VexQ4GetCameraData(port, VN, &version) : kStopped;
    AddIdentityLine(identity, "Firmware Version", status == 0 ? std::to_string(version) : "");
  }
  return status;
}

}  // namespace

std::string Pad(std::string_view text) {
  std::string out(text);
  if (out.size() < kReportFieldWidth) out.resize(kReportFieldWidth, ' ');
  return out;
}

}  // namespace vexq4::model

int CVexCamInterface::WriteCameraDataToFile(std::string_view path) {
  return CodeOf(SaveCameraDataReport(path));
}

vexq4::model::Status CVexCamInterface::SaveCameraDataReport(std::string_view path) {
  using namespace vexq4::model;
  if (!isOnline) return Status::kOffline;

  // The file is checked before the first exchange: an unwritable path must
  // not cost a minute of camera traffic and four area loads.
  const std::filesystem::path target{std::string(path)};
  std::error_code ec;
  const bool hadReport = std::filesystem::exists(target, ec);
  vexq4::platform::AtomicFile file;
  if (!file.Open(target)) return Status::kFileNotWritable;

  // Without the camera's working settings no area may be loaded: they
  // would be lost. The abandoned file removes its temporary file.
  if (!isSynchronized) {
    if (const int read = ReadAllFromCamera(); read != 0) return LibraryStatus(read);
  }

  // The report's rows, labels and value texts are the rows'; the red and
  // blue gain rows show the gains of the area's white balance mode.
  const auto rows = TransferOrder(Transfer::kReportRows);
  const int rowCount = static_cast<int>(rows.size());
  constexpr int kIdentitySteps = 4;
  const int areaSteps = 1 + rowCount;  // LD and the reads
  const int total = kIdentitySteps + rowCount + 4 * areaSteps;
  int step = 0;
  // False once a stop is asked for: nothing more is sent then.
  bool stopped = false;
  bool areaLoaded = false;
  auto exchange = [&] {
    stopped = stopped || !ReportProgress(kOperation, step++, total);
    return !stopped;
  };

  std::string identity;
  int status = ReadIdentity(comPort, identity, exchange);
  step = kIdentitySteps;

  // Each row's line, by SettingRow::index.
  std::array<std::string, kSettingCount> lines;
  for (const SettingRow* row : rows) lines[row->index] = Pad(row->reportLabel);

  for (int area = 0; area < static_cast<int>(kColumns.size()); ++area) {
    const int areaEnd = step + (area == 0 ? areaSteps - 1 : areaSteps);
    if (area > 0) {
      status = exchange() ? VexQ4SendCameraData(comPort, LD, area - 1) : kStopped;
      areaLoaded = areaLoaded || !stopped;
    }
    int mode = -1;  // the area's white balance, once read
    // The master gain before the white balance, the gains after it.
    for (const SettingRow* each : TransferOrder(Transfer::kReportReads)) {
      if (status != 0) break;  // the rest of this column stays empty
      const SettingRow& row = *each;
      std::string& line = lines[row.index];
      const SettingRow* read = WhiteBalanceRegister(row, mode);
      if (!read) {  // "Continuous AWB": the camera's gains are its own
        line.append(",").append(Pad(""));
        continue;
      }
      int value = 0;
      const int result = exchange() ? VexQ4GetCameraData(comPort, read->code, &value) : kStopped;
      if (row.reportDecidesStatus) status = result;
      if (result == 0 && read->code == WB) mode = value;
      line.append(",").append(Pad(result == 0 ? CellText(row, value) : std::string()));
    }
    step = areaEnd;
  }

  // A stopped report replaces no file and sends nothing more, not even the
  // model's settings back after an area was loaded.
  if (stopped) return vexq4::model::LibraryStatus(areaLoaded ? StoppedUnsynchronized() : kStopped);

  std::string text = identity;
  text.append(Pad(""));
  for (std::string_view column : kColumns) text.append(",").append(Pad(column));
  text.append(kCrLf);
  // Every row ends its line, even when a column stopped early.
  for (const SettingRow* row : rows) text.append(lines[row->index]).append(kCrLf);
  // A report the camera broke off does not replace a whole one from an
  // earlier run; with no report there yet, what the camera gave is written.
  const bool keepOld = status != 0 && hadReport;
  const bool written = keepOld || (file.Write(text) && file.Commit());

  // The area loads changed the camera's working settings: give it back the
  // model's. Its code is not the report's.
  WriteAllToCamera();
  ReportProgress(kOperation, total, total);
  return written ? LibraryStatus(status) : Status::kFileNotWritable;
}
