// The feature list, by rule from the settings table (see features.h).
#include "vexq4/genicam/features.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "VexQ4Comm.h"

namespace vexq4::genicam {
namespace {

using model::SettingRow;

std::string CategoryOf(const SettingRow& row) {
  return row.window == model::Window::kShutter ? "ShutterControl" : "GainControl";
}

Feature IntegerOf(const SettingRow& row) {
  Feature f{.name = FeatureName(row),
            .type = FeatureType::kInteger,
            .category = CategoryOf(row),
            .description = std::string(row.meaning),
            .writable = !row.genicam.readOnly,
            .min = row.min,
            .max = row.max,
            .address = SettingAddress(row.code),
            .camera = std::string(row.mnemonic),
            .rows = {&row}};
  if (row.isList()) {
    f.type = FeatureType::kEnumeration;
    for (std::size_t i = 0; i < row.list.size(); ++i)
      f.entries.push_back({EntryName(row.list[i]), std::string(row.list[i]), static_cast<int>(i)});
  } else if (!row.genicam.entries.empty()) {
    f.type = FeatureType::kEnumeration;
    for (std::size_t i = 0; i < row.genicam.entries.size(); ++i)
      f.entries.push_back({std::string(row.genicam.entries[i]), std::string(row.genicam.entries[i]),
                           static_cast<int>(i)});
  }
  f.sfnc = !row.genicam.name.empty();
  return f;
}

// The rows behind one selector, in code order (stable whatever the table's
// order): a selector feature and the feature it selects.
void AddSelected(std::vector<Feature>& out, const SettingRow& first) {
  std::vector<const SettingRow*> rows;
  for (const SettingRow& row : model::Settings())
    if (row.genicam.selector == first.genicam.selector) rows.push_back(&row);
  std::sort(rows.begin(), rows.end(),
            [](const SettingRow* a, const SettingRow* b) { return a->code < b->code; });

  Feature selector{.name = std::string(first.genicam.selector),
                   .type = FeatureType::kEnumeration,
                   .category = CategoryOf(first),
                   .description = "which " + FeatureName(first) + " the next access reaches",
                   .writable = true,
                   .sfnc = true,
                   .isSelector = true,
                   .selects = {FeatureName(first)}};
  Feature selected = IntegerOf(first);
  selected.selector = selector.name;
  selected.description.clear();
  selected.camera.clear();
  selected.rows.clear();
  for (const SettingRow* row : rows) {
    selector.entries.push_back({std::string(row->genicam.entry), std::string(row->genicam.entry),
                                static_cast<int>(row->code), row});
    selected.rows.push_back(row);
    selected.description += (selected.description.empty() ? "" : "; ") +
                            std::string(row->genicam.entry) + ": " + std::string(row->meaning);
    selected.camera += (selected.camera.empty() ? "" : " ") + std::string(row->mnemonic);
    selected.min = std::min(selected.min, row->min);
    selected.max = std::max(selected.max, row->max);
    selected.writable = selected.writable && !row->genicam.readOnly;
  }
  selected.address = SettingAddress(0);
  selector.rows = selected.rows;
  out.push_back(std::move(selector));
  out.push_back(std::move(selected));
}

Feature Text(std::string name, unsigned code, std::uint32_t length, bool writable,
             std::string description, std::string camera) {
  return {.name = std::move(name),
          .type = FeatureType::kString,
          .category = "DeviceControl",
          .description = std::move(description),
          .writable = writable,
          .sfnc = true,
          .address = TextAddress(code),
          .length = length,
          .camera = std::move(camera)};
}

void AddDeviceControl(std::vector<Feature>& out) {
  Feature vendor = Text("DeviceVendorName", 0, 32, false, "the camera's maker", "");
  vendor.address = kVendorNameAddress;
  out.push_back(std::move(vendor));
  out.push_back(Text("DeviceModelName", MD, 32, false, "the camera's model name", "MD?"));
  out.push_back(Text("DeviceSerialNumber", ID, 32, false, "the camera ID", "ID?"));
  out.push_back(
      Text("DeviceFirmwareVersion", VN, 32, false, "the camera's firmware version", "VN?"));
  out.push_back(
      Text("DeviceUserID", UD, VEXQ4_USER_ID_MAX_SET, true,
           "the user ID, at most " + std::to_string(VEXQ4_USER_ID_MAX_SET) + " characters", "UD"));
}

Feature CommandOf(std::string name, unsigned code, std::string category, std::string description,
                  std::string camera) {
  return {.name = std::move(name),
          .type = FeatureType::kCommand,
          .category = std::move(category),
          .description = std::move(description),
          .writable = true,
          .address = SettingAddress(code),
          .camera = std::move(camera)};
}

void AddUserSets(std::vector<Feature>& out) {
  Feature selector{.name = std::string(kUserSetSelectorName),
                   .type = FeatureType::kEnumeration,
                   .category = "UserSetControl",
                   .description = "the area UserSetLoad and UserSetSave reach",
                   .writable = true,
                   .sfnc = true,
                   .isSelector = true,
                   .selects = {"UserSetLoad", "UserSetSave"},
                   .entries = {{"Default", "Default", 0},
                               {"UserSet1", "UserSet1", 1},
                               {"UserSet2", "UserSet2", 2},
                               {"UserSet3", "UserSet3", 3}}};
  out.push_back(std::move(selector));
  Feature load =
      CommandOf("UserSetLoad", LD, "UserSetControl",
                "the camera loads the selected area (Default: the factory settings)", "LD=n");
  Feature save = CommandOf("UserSetSave", SA, "UserSetControl",
                           "the camera stores its settings into the selected user area "
                           "(refused for Default)",
                           "SA=n");
  for (Feature* f : {&load, &save}) {
    f->sfnc = true;
    f->selector = std::string(kUserSetSelectorName);
    f->commandValueFrom = std::string(kUserSetSelectorName);
    out.push_back(std::move(*f));
  }
  out.push_back({.name = "EEPROMCurrentAreaNo",
                 .type = FeatureType::kInteger,
                 .category = "UserSetControl",
                 .description = "the area the camera loaded or stored last",
                 .min = 0,
                 .max = 3,
                 .address = SettingAddress(EA),
                 .camera = "EA?"});
}

void AddWhiteBalanceAndShading(std::vector<Feature>& out) {
  out.push_back(CommandOf("OnePushWhiteBalance", AW, "GainControl",
                          "measures the white balance once (manual white balance mode)", "AW=0"));
  Feature result{.name = "OnePushResult",
                 .type = FeatureType::kEnumeration,
                 .category = "GainControl",
                 .description = "how the last one-push white balance ended",
                 .address = SettingAddress(AWRS),
                 .camera = "AWRS?"};
  for (std::size_t i = 0; i < model::kOnePushResultList.size(); ++i)
    result.entries.push_back({EntryName(model::kOnePushResultList[i]),
                              std::string(model::kOnePushResultList[i]), static_cast<int>(i)});
  result.max = static_cast<int>(result.entries.size()) - 1;
  out.push_back(std::move(result));
  out.push_back(CommandOf("AutoShadingCorrection", ATSH, "GainControl",
                          "the camera computes a new shading table (about 10 s)", "ATSH=0"));
}

std::vector<Feature> Build() {
  std::vector<Feature> out;
  AddDeviceControl(out);
  std::map<std::string_view, bool> selectorDone;
  for (const SettingRow& row : model::Settings()) {
    if (row.genicam.selector.empty()) {
      out.push_back(IntegerOf(row));
    } else if (!selectorDone[row.genicam.selector]) {
      selectorDone[row.genicam.selector] = true;
      AddSelected(out, row);
    }
  }
  AddWhiteBalanceAndShading(out);
  AddUserSets(out);
  return out;
}

}  // namespace

std::string FeatureName(const SettingRow& row) {
  if (!row.genicam.name.empty()) return std::string(row.genicam.name);
  std::string name(row.property);
  constexpr std::string_view kIndex = "Index";
  if (row.isList() && name.ends_with(kIndex)) name.resize(name.size() - kIndex.size());
  return name;
}

std::string EntryName(std::string_view text) {
  std::string out;
  bool upper = false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) {
      out += upper ? static_cast<char>(std::toupper(u)) : c;
      upper = false;
    } else if (c == '/') {
      out += '_';
      upper = false;
    } else {
      upper = true;
    }
  }
  if (out.empty() || std::isdigit(static_cast<unsigned char>(out.front()))) out = "Value" + out;
  return out;
}

const std::vector<Feature>& Features() {
  static const std::vector<Feature> features = Build();
  return features;
}

const Feature* FindFeature(std::string_view name) {
  for (const Feature& f : Features())
    if (f.name == name) return &f;
  return nullptr;
}

}  // namespace vexq4::genicam
