// The camera's identity texts and the user ID.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "VexQ4Comm.h"
#include "parameters.h"
#include "ports.h"
#include "protocol.h"

namespace vexq4::comm {
namespace {

// Reads one identity text into `out` (`size` bytes, NUL included).
template <std::size_t size>
int QueryText(int port, char* out, std::string_view queryLine) {
  if (!out || !Slot(port)) return VEXQ4_E_ARGUMENT;
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;
  // A value that does not fit the caller's buffer gives -4 (never a cut
  // text), and the caller's buffer is written only on success.
  std::array<char, size> value{};
  const int rc = QueryParameter(port, queryLine, value);
  if (rc == VEXQ4_OK) std::memcpy(out, value.data(), std::strlen(value.data()) + 1);
  return rc;
}

// The camera stores at most VEXQ4_USER_ID_MAX_SET characters; a line end or other control
// character inside the text would end the command early or start another,
// so such a text is refused rather than sent.
bool IsSendableUserId(const char* userId) {
  const std::size_t length = ::strnlen(userId, VEXQ4_USER_ID_MAX_SET + 1);
  if (length > VEXQ4_USER_ID_MAX_SET) return false;
  return std::all_of(userId, userId + length, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F;
  });
}

}  // namespace
}  // namespace vexq4::comm

using namespace vexq4::comm;

extern "C" {

int VexQ4GetCameraID(int port, char* id) {
  return QueryText<VEXQ4_CAMERA_ID_SIZE>(port, id, "ID?\r\n");
}

int VexQ4GetModelName(int port, char* name) {
  return QueryText<VEXQ4_MODEL_NAME_SIZE>(port, name, "MD?\r\n");
}

int VexQ4GetUserID(int port, char* userId) {
  return QueryText<VEXQ4_USER_ID_SIZE>(port, userId, "UD?\r\n");
}

int VexQ4SetUserID(int port, const char* userId) {
  if (!userId || !Slot(port) || !IsSendableUserId(userId)) return VEXQ4_E_ARGUMENT;
  if (!IsReady(port)) return VEXQ4_E_NO_CONNECTION;
  // "UD=", the text, CR LF and NUL.
  std::array<char, sizeof "UD=" - 1 + VEXQ4_USER_ID_MAX_SET + sizeof "\r\n"> command{};
  const auto lock = LockReadyPort(port);
  if (!lock) return VEXQ4_E_NO_CONNECTION;
  std::snprintf(command.data(), command.size(), "UD=%s\r\n", userId);
  return SendCommandLine(port, UD, command.data());
}

}  // extern "C"
