// Settings files (*.cam): one camera configuration as the model caches it,
// in profile (INI) form with the sections "Main", "Shutter" and "Gain".
#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/model/settings_compare.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::model {
namespace {

constexpr std::string_view kMain = "Main";
constexpr std::string_view kCameraTypeKey = "Camera Type";
constexpr std::string_view kCameraType = "RX-Q4";
constexpr std::string_view kNotFound = "Not Found";

}  // namespace

}  // namespace vexq4::model

using vexq4::model::Status;

int CVexCamInterface::WriteAllToFile(std::string_view path) {
  return CodeOf(SaveSettingsFile(path));
}

int CVexCamInterface::ReadAllFromFile(std::string_view path) {
  return CodeOf(LoadSettingsFile(path));
}

Status CVexCamInterface::SaveSettingsFile(std::string_view path) {
  using namespace vexq4::model;
  const std::filesystem::path file{std::string(path)};
  vexq4::platform::ProfileDocument doc;
  // An existing file keeps its other lines; one that cannot be read is not
  // replaced.
  if (!doc.Load(file) || !doc.Set(kMain, kCameraTypeKey, kCameraType))
    return Status::kFileNotWritable;

  // On-line, a colour-temperature mode stores its presets as the gains.
  for (const SettingRow* row : TransferOrder(Transfer::kSettingsFile)) {
    const SettingRow* source = row;
    if (isOnline) {
      if (const SettingRow* preset = WhiteBalanceRegister(*row, WhiteBalanceMode()))
        source = preset;
    }
    const std::string text = row->isList() ? Text(*row) : std::to_string(Value(*source));
    doc.Set(SectionOf(row->window), row->key, text);
  }
  // All keys reach the disk in one atomic replacement: never half a file.
  return doc.Save(file) ? Status::kOk : Status::kFileNotWritable;
}

Status CVexCamInterface::LoadSettingsFile(std::string_view path) {
  using namespace vexq4::model;
  // A load that finds no file changes nothing and sends nothing: applying
  // "Not Found" everywhere would write the program's settings to the
  // camera. A missing file is no settings file; a folder, a FIFO or a file
  // far too large is a file that cannot be read.
  const std::filesystem::path file{std::string(path)};
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return Status::kInvalidSettingsFile;
  vexq4::platform::ProfileDocument doc;
  if (!doc.Load(file)) return Status::kFileNotReadable;
  auto read = [&doc](std::string_view section, std::string_view key) {
    return doc.Get(section, key).value_or(std::string(kNotFound));
  };

  Status result = Status::kOk;
  // "RX-Q4CL" and other variants of the type are accepted.
  if (!read(kMain, kCameraTypeKey).starts_with(kCameraType)) result = Status::kInvalidSettingsFile;

  for (const SettingRow* each : TransferOrder(Transfer::kSettingsFile)) {
    const SettingRow& row = *each;
    const std::string value = read(SectionOf(row.window), row.key);
    if (!row.list.empty()) {
      // Exact texts, letter case included.
      bool found = false;
      for (std::size_t i = 0; i < row.list.size(); ++i) {
        if (row.list[i] == value) {
          Store(row, static_cast<int>(i));
          found = true;
          break;
        }
      }
      if (!found) result = Status::kInvalidSettingsFile;
      continue;
    }
    // A value without a leading number is rejected like one out of range;
    // it never inherits the number of another key.
    const std::optional<int> number = vexq4::platform::LeadingNumber(value);
    if (!number || (row.checked && (*number < row.min || *number > row.max))) {
      result = Status::kInvalidSettingsFile;
      continue;
    }
    Store(row, *number);
  }

  if (isOnline) {
    const int written = WriteAllToCamera();
    if (written != 0) result = LibraryStatus(written);
  } else {
    for (const SettingRow* row : TransferOrder(Transfer::kOfflineRefresh))
      Notify(row->notification);
  }
  return result;
}
