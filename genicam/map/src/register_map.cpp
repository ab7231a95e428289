#include "vexq4/genicam/register_map.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "VexQ4Comm.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"

namespace vexq4::genicam {
namespace {

using model::SettingRow;

constexpr unsigned kCodes = 64;  // room for every parameter code

// Where an address falls.
struct Place {
  enum Kind { kNone, kXml, kVendor, kSettingValue, kSettingMin, kSettingMax, kText } kind = kNone;
  unsigned code = 0;
  std::uint32_t start = 0;   // the register's first address
  std::uint32_t length = 0;  // its length
};

// The numbers that are no setting but have a setting's three registers.
bool IsNumberCode(unsigned code) { return code == EA || code == AWRS; }
bool IsCommandCode(unsigned code) { return code == LD || code == SA || code == AW || code == ATSH; }
std::uint32_t TextLength(unsigned code) {
  if (code == UD) return VEXQ4_USER_ID_MAX_SET;
  return code == MD || code == ID || code == VN ? 32 : 0;
}

// The range of a setting or number register.
std::optional<std::pair<int, int>> RangeOf(unsigned code) {
  if (const SettingRow* row = model::FindSettingByCode(code)) return std::pair{row->min, row->max};
  if (code == EA) return std::pair{0, 3};
  if (code == AWRS) return std::pair{0, static_cast<int>(model::kOnePushResultList.size()) - 1};
  return std::nullopt;
}

Place Locate(std::uint32_t address) {
  const std::string& xml = XmlText();
  if (address >= kXmlAddress && address - kXmlAddress < xml.size())
    return {Place::kXml, 0, kXmlAddress, static_cast<std::uint32_t>(xml.size())};
  if (address >= kVendorNameAddress && address - kVendorNameAddress < 32)
    return {Place::kVendor, 0, kVendorNameAddress, 32};
  if (address >= kSettingBase && address < kSettingBase + kCodes * kSettingStride) {
    const unsigned code = (address - kSettingBase) / kSettingStride;
    const std::uint32_t offset = (address - kSettingBase) % kSettingStride;
    const bool hasRange = RangeOf(code).has_value();
    const std::uint32_t start = address - offset % 4;
    if (offset < 4 && (hasRange || IsCommandCode(code)))
      return {Place::kSettingValue, code, start, 4};
    if (offset >= 4 && offset < 8 && hasRange) return {Place::kSettingMin, code, start, 4};
    if (offset >= 8 && offset < 12 && hasRange) return {Place::kSettingMax, code, start, 4};
    return {};
  }
  if (address >= kTextBase && address < kTextBase + kCodes * kTextStride) {
    const unsigned code = (address - kTextBase) / kTextStride;
    const std::uint32_t length = TextLength(code);
    if ((address - kTextBase) % kTextStride < length)
      return {Place::kText, code, TextAddress(code), length};
  }
  return {};
}

void PutInteger(std::span<std::uint8_t> out, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  out[0] = static_cast<std::uint8_t>(v >> 24);
  out[1] = static_cast<std::uint8_t>(v >> 16);
  out[2] = static_cast<std::uint8_t>(v >> 8);
  out[3] = static_cast<std::uint8_t>(v);
}

std::int32_t GetInteger(std::span<const std::uint8_t> in) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(in[0]) << 24 |
                                   static_cast<std::uint32_t>(in[1]) << 16 |
                                   static_cast<std::uint32_t>(in[2]) << 8 | in[3]);
}

// The bytes [address, address + out.size()) of a register holding `bytes`
// (NUL-padded to its length).
void CopySlice(std::string_view bytes, const Place& place, std::uint32_t address,
               std::span<std::uint8_t> out) {
  std::fill(out.begin(), out.end(), 0);
  const std::size_t from = address - place.start;
  for (std::size_t i = 0; i < out.size() && from + i < bytes.size(); ++i)
    out[i] = static_cast<std::uint8_t>(bytes[from + i]);
}

// Whether [address, address + size) lies within the place's register.
bool Inside(const Place& place, std::uint32_t address, std::size_t size) {
  return size > 0 && address + size <= std::uint64_t{place.start} + place.length;
}

std::optional<Text> TextOf(unsigned code) {
  switch (code) {
    case MD:
      return Text::kModelName;
    case ID:
      return Text::kCameraID;
    case UD:
      return Text::kUserID;
    case VN:
      return Text::kFirmwareVersion;
    default:
      return std::nullopt;
  }
}

}  // namespace

RegisterMap::RegisterMap(Camera& camera, bool readOnly) : camera_(camera), readOnly_(readOnly) {}

bool RegisterMap::IsConstant(std::uint32_t address, std::uint32_t size) {
  const Place place = Locate(address);
  return Inside(place, address, size) &&
         (place.kind == Place::kXml || place.kind == Place::kVendor ||
          place.kind == Place::kSettingMin || place.kind == Place::kSettingMax);
}

bool RegisterMap::Exists(std::uint32_t address, std::uint32_t size) {
  return Inside(Locate(address), address, size);
}

Access RegisterMap::ReadConstant(std::uint32_t address, std::span<std::uint8_t> out) {
  const Place place = Locate(address);
  if (!Inside(place, address, out.size())) return Access::kInvalidAddress;
  switch (place.kind) {
    case Place::kXml:
      CopySlice(XmlText(), place, address, out);
      return Access::kOk;
    case Place::kVendor:
      CopySlice(kVendorName, place, address, out);
      return Access::kOk;
    case Place::kSettingMin:
    case Place::kSettingMax: {
      if (address != place.start || out.size() != 4) return Access::kBadAlignment;
      const auto range = *RangeOf(place.code);
      PutInteger(out, place.kind == Place::kSettingMin ? range.first : range.second);
      return Access::kOk;
    }
    default:
      return Access::kInvalidAddress;
  }
}

Access RegisterMap::FromCamera(int result) {
  lastCameraResult_ = result;
  return result == 0 ? Access::kOk : Access::kCameraFailed;
}

Access RegisterMap::Read(std::uint32_t address, std::span<std::uint8_t> out) {
  const Place place = Locate(address);
  if (!Inside(place, address, out.size())) return Access::kInvalidAddress;
  if (IsConstant(address, static_cast<std::uint32_t>(out.size())))
    return ReadConstant(address, out);
  if (place.kind == Place::kText) {
    std::string text;
    if (const Access a = FromCamera(camera_.ReadText(*TextOf(place.code), text)); a != Access::kOk)
      return a;
    CopySlice(text, place, address, out);
    return Access::kOk;
  }
  // A setting's, a number's or a command's value register: whole.
  if (address != place.start || out.size() != 4) return Access::kBadAlignment;
  if (IsCommandCode(place.code)) {
    PutInteger(out, 0);  // a command is always done when it answers
    return Access::kOk;
  }
  if (const SettingRow* row = model::FindSettingByCode(place.code)) return ReadSetting(*row, out);
  int value = 0;
  const Number which = place.code == EA ? Number::kCurrentArea : Number::kOnePushResult;
  if (const Access a = FromCamera(camera_.ReadNumber(which, value)); a != Access::kOk) return a;
  PutInteger(out, value);
  return Access::kOk;
}

Access RegisterMap::ReadSetting(const SettingRow& row, std::span<std::uint8_t> out) {
  int value = 0;
  if (const Access a = FromCamera(camera_.ReadSetting(row, value)); a != Access::kOk) return a;
  PutInteger(out, value);
  return Access::kOk;
}

Access RegisterMap::Write(std::uint32_t address, std::span<const std::uint8_t> data) {
  const Place place = Locate(address);
  if (!Inside(place, address, data.size())) return Access::kInvalidAddress;
  switch (place.kind) {
    case Place::kText:
      return WriteText(address, data);
    case Place::kSettingValue:
      if (address != place.start || data.size() != 4) return Access::kBadAlignment;
      return WriteInteger(address, GetInteger(data));
    default:
      return Access::kWriteProtect;
  }
}

Access RegisterMap::WriteInteger(std::uint32_t address, std::int32_t value) {
  const unsigned code = (address - kSettingBase) / kSettingStride;
  const SettingRow* row = model::FindSettingByCode(code);
  if (IsNumberCode(code) || (row && row->genicam.readOnly)) return Access::kWriteProtect;
  if (readOnly_) return Access::kAccessDenied;
  if (row) {
    if (value < row->min || value > row->max) return Access::kRefused;
    return FromCamera(camera_.WriteSetting(*row, value));
  }
  switch (code) {
    case LD:
      if (value < 0 || value > 3) return Access::kRefused;
      return FromCamera(camera_.Run(Command::kLoadArea, value));
    case SA:  // the factory area (Default) is not the user's to store into
      if (value < 1 || value > 3) return Access::kRefused;
      return FromCamera(camera_.Run(Command::kStoreArea, value));
    case AW:
      return FromCamera(camera_.Run(Command::kOnePushWhiteBalance, 0));
    case ATSH:
      return FromCamera(camera_.Run(Command::kAutoShading, 0));
    default:
      return Access::kInvalidAddress;
  }
}

Access RegisterMap::WriteText(std::uint32_t address, std::span<const std::uint8_t> data) {
  if (address != TextAddress(UD))
    return address >= TextAddress(UD) && address < TextAddress(UD) + TextLength(UD)
               ? Access::kBadAlignment
               : Access::kWriteProtect;
  if (readOnly_) return Access::kAccessDenied;
  std::string text;
  for (std::uint8_t byte : data) {
    if (byte == 0) break;
    if (byte < 0x20 || byte > 0x7e) return Access::kRefused;  // the camera takes printable ASCII
    text += static_cast<char>(byte);
  }
  return FromCamera(camera_.WriteUserID(text));
}

std::chrono::milliseconds RegisterMap::Duration(std::uint32_t address, bool write) {
  using std::chrono::milliseconds;
  if (IsConstant(address, 1)) return milliseconds(0);
  if (!write) return milliseconds(1500);
  if (address == SettingAddress(ATSH)) return milliseconds(12000);
  if (address == SettingAddress(LD)) return milliseconds(9000);
  return milliseconds(2500);
}

std::string RegisterName(std::uint32_t address) {
  const Place place = Locate(address);
  switch (place.kind) {
    case Place::kNone:
      return {};
    case Place::kXml:
      return "GenApi XML";
    case Place::kVendor:
      return "DeviceVendorName";
    default:
      break;
  }
  for (const Feature& f : Features()) {
    if (place.kind == Place::kText && f.address == place.start) return f.name;
    for (const SettingRow* row : f.rows)
      if (row->code == place.code) {
        std::string name = f.selector.empty() || f.isSelector
                               ? f.name
                               : f.name + "[" + std::string(row->genicam.entry) + "]";
        if (f.isSelector) continue;
        if (place.kind == Place::kSettingMin) name += " minimum";
        if (place.kind == Place::kSettingMax) name += " maximum";
        return name;
      }
    if (place.kind != Place::kText && f.rows.empty() && f.address == place.start) return f.name;
  }
  return {};
}

}  // namespace vexq4::genicam
