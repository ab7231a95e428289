// What a settings file means for the camera, and how the camera differs.
#include "vexq4/model/settings_compare.h"

#include <algorithm>
#include <filesystem>

#include "VexQ4Comm.h"
#include "compare_steps.h"
#include "vexq4/platform/ini_file.h"

namespace vexq4::model {
namespace {

const SettingRow& RowOf(unsigned code) { return *FindSettingByCode(code); }

std::vector<unsigned> CodesOf(Transfer transfer) {
  std::vector<unsigned> codes;
  for (const SettingRow* row : TransferOrder(transfer)) codes.push_back(row->code);
  return codes;
}

// The register a key of the file stands for in `mode`: the gain keys
// stand for the mode's gains or presets (none in "Continuous AWB").
const SettingRow* RegisterOfKey(const SettingRow& key, int mode) {
  return WhiteBalanceRegister(key, mode);
}

std::string Quoted(const SettingRow& row, std::string_view value) {
  return "\"" + std::string(row.key) + "=" + std::string(value) + "\"";
}

// What is wrong with one key of a refused file, or empty when it is fine.
std::string KeyProblem(const platform::ProfileDocument& doc, const SettingRow& row) {
  const std::string_view section = SectionOf(row.window);
  const std::optional<std::string> value = doc.Get(section, row.key);
  if (!value) return "no key \"" + std::string(row.key) + "\" in [" + std::string(section) + "]";
  if (row.isList()) {
    if (std::find(row.list.begin(), row.list.end(), *value) != row.list.end()) return {};
    return Quoted(row, *value) + " is not one of its texts (letter case counts)";
  }
  const std::optional<int> number = platform::LeadingNumber(*value);
  if (!number) return Quoted(row, *value) + " is not a number";
  if (*number < row.min || *number > row.max)
    return Quoted(row, *value) + " is outside " + std::to_string(row.min) + ".." +
           std::to_string(row.max);
  return {};
}

// The first key that makes the file no settings file, in the file's order.
std::string FirstProblem(std::string_view path) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::path(std::string(path)), ec)) return "no such file";
  platform::ProfileDocument doc;
  if (!doc.Load(std::filesystem::path(std::string(path)))) return "the file cannot be read";
  for (unsigned code : SettingsFileOrder())
    if (std::string problem = KeyProblem(doc, RowOf(code)); !problem.empty()) return problem;
  return {};
}

}  // namespace

std::span<const unsigned> SettingsFileOrder() {
  static const std::vector<unsigned> codes = CodesOf(Transfer::kSettingsFile);
  return codes;
}

std::span<const unsigned> WriteAllOrder() {
  static const std::vector<unsigned> codes = CodesOf(Transfer::kWriteAll);
  return codes;
}

std::span<const unsigned> GainRegistersOfMode(int mode) {
  static const auto byMode = [] {
    std::array<std::vector<unsigned>, kWhiteBalanceList.size()> codes;
    for (std::size_t m = 0; m < codes.size(); ++m)
      if (const WhiteBalanceGains gains = WhiteBalanceGainRows(static_cast<int>(m)))
        codes[m] = {gains.red->code, gains.blue->code};
    return codes;
  }();
  if (mode < 0 || static_cast<std::size_t>(mode) >= byMode.size()) return {};
  return byMode[static_cast<std::size_t>(mode)];
}

std::string_view SettingName(const SettingRow& row) {
  return row.isList() ? row.textProperty : row.property;
}

std::string SettingText(const SettingRow& row, int value) {
  if (row.isList() && value >= 0 && static_cast<std::size_t>(value) < row.list.size())
    return std::string(row.list[static_cast<std::size_t>(value)]);
  return std::to_string(value);
}

SettingsFileTargets ReadSettingsFileTargets(std::string_view path) {
  SettingsFileTargets out;
  // The model's own reading decides whether the file is one (camera type,
  // ranges, lists); its values are then the file's.
  CVexCamInterface file;
  out.status = file.LoadSettingsFile(path);
  // A number the model takes unchecked must still be one the camera's
  // registers hold: refused as well.
  if (out.status == Status::kOk && !FirstProblem(path).empty())
    out.status = Status::kInvalidSettingsFile;
  if (out.status != Status::kOk) {
    if (out.status == Status::kInvalidSettingsFile) out.problem = FirstProblem(path);
    return out;
  }
  for (unsigned code : SettingsFileOrder()) {
    const SettingRow& key = RowOf(code);
    if (const SettingRow* target = RegisterOfKey(key, file.Value(*FindSettingByCode(WB))))
      out.targets.push_back({target, file.Value(key)});
  }
  return out;
}

std::vector<Target> WriteAllTargets(const CVexCamInterface& model) {
  std::vector<Target> out;
  for (unsigned code : WriteAllOrder()) {
    const SettingRow& row = RowOf(code);
    const bool gain = code == GAR || code == GAB;
    if (gain && RegisterOfKey(row, model.Value(*FindSettingByCode(WB))) != &row) continue;
    out.push_back({&row, model.Value(row)});
  }
  return out;
}

Comparison ReadTargets(CVexCamInterface& model, std::span<const Target> targets,
                       std::string_view operation, int firstStep, int total) {
  Comparison out;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const Target& t = targets[i];
    if (!model.ReportProgress(operation, firstStep + static_cast<int>(i), total)) {
      out.stopped = true;
      out.status = LibraryStatus(CVexCamInterface::kStopped);
      return out;
    }
    const int result = model.GetSetting(*t.row);
    if (result != VEXQ4_OK) {
      out.status = LibraryStatus(result);
      return out;
    }
    out.camera.push_back(model.Value(*t.row));
    if (out.camera.back() != t.value)
      out.differences.push_back({t.row, out.camera.back(), t.value});
  }
  return out;
}

Comparison CompareWithCamera(CVexCamInterface& model, std::span<const Target> targets,
                             std::string_view operation) {
  const int total = static_cast<int>(targets.size());
  Comparison out = ReadTargets(model, targets, operation, 0, total);
  if (out.status == Status::kOk) model.ReportProgress(operation, total, total);
  return out;
}

}  // namespace vexq4::model
