// What must hold of the camera model after any operation, whatever the
// camera or a file did: shared by the soak test and the fuzz targets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::reliability {

// Every code a model operation may return: the library's, and the three of
// the file operations (-7 not writable, -8 not readable, -9 invalid).
inline bool IsDocumentedCode(int rc) { return rc <= 0 && rc >= -9; }

// Longest (virtual) time one camera exchange may take: the drain of
// whatever was pending (a few lines), the command gap, and two reply lines,
// each of which may be preceded by up to 32 echoed query lines, each line
// taking its time-out plus one empty read.
inline constexpr std::uint32_t kDrainMs = 1200;
inline constexpr std::uint32_t ExchangeBoundMs(std::uint32_t replyTimeoutMs) {
  return kDrainMs + 600 + 2 * 33 * (replyTimeoutMs + 102);
}
// A shading read on a silent line: 1546 empty reads after the 1 s pause.
inline constexpr std::uint32_t kShadingReadBoundMs = 2000 + 1546 * 102;
inline constexpr std::uint32_t kShadingReadOnCameraLinkBoundMs = 2000 + 1546 * 601;

// The model's own consistency: list fields inside their lists with the
// matching text, the status flags settled, synchronized only when online.
// Returns an empty string when all holds, else what does not.
inline std::string CheckModel(const CVexCamInterface& m) {
  for (const auto& row : vexq4::model::Settings()) {
    if (!row.isList()) continue;
    const int v = m.Value(row);
    if (v < 0 || static_cast<std::size_t>(v) >= row.list.size())
      return std::string(row.property) + " index out of its list: " + std::to_string(v);
    if (m.Text(row) != row.list[static_cast<std::size_t>(v)])
      return std::string(row.property) + " text does not match its index";
  }
  if (m.IsOnline() != 0 && m.IsOnline() != 1) return "isOnline not 0 or 1";
  if (m.IsSynchronized() != 0 && m.IsSynchronized() != 1) return "isSynchronized not 0 or 1";
  if (m.IsSynchronized() && !m.IsOnline()) return "synchronized while off-line";
  if (m.IsSending() || m.IsReceiving()) return "sending/receiving flag left raised";
  if (m.OnePushResult() < 0 || m.OnePushResult() >= 7) return "one-push result outside its list";
  if (m.CameraID().size() >= VEXQ4_CAMERA_ID_SIZE) return "camera ID longer than its buffer";
  if (m.ModelName().size() >= VEXQ4_MODEL_NAME_SIZE) return "model name longer than its buffer";
  return {};
}

// Files in `dir` whose name marks an unfinished atomic write.
inline std::set<std::string> StrayTempFiles(const std::filesystem::path& dir) {
  std::set<std::string> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp") != std::string::npos) out.insert(name);
  }
  return out;
}

}  // namespace vexq4::reliability
