// libclservir.so: a frame grabber vendor's Camera Link serial library whose
// one port is the test's virtual-time grabber port (virtual_vendor.h).
// Built as Camera Link 2.0 with clFlushPort and clGetNumBytesAvail and,
// with VIRTUAL_VENDOR_CL_1_0, as Camera Link 1.0 without them.
#include "virtual_vendor.h"

#include <cstring>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using vexq4::testing::VendorHooks;

constexpr std::int32_t kBufferTooSmall = -10001;
constexpr std::int32_t kInvalidIndex = -10005;
constexpr std::int32_t kInvalidReference = -10006;
constexpr std::int32_t kErrorNotFound = -10007;

VendorHooks g_hooks{};
bool g_attached = false;
int g_ref = 0;  // the one reference, while the port is open
bool g_open = false;

bool Valid(void* ref) { return g_attached && g_open && ref == &g_ref; }

}  // namespace

EXPORT void VexQ4TestAttachVendor(const VendorHooks* hooks) {
  g_attached = hooks != nullptr;
  g_hooks = hooks ? *hooks : VendorHooks{};
  g_open = false;
}

EXPORT std::int32_t clGetManufacturerInfo(char* name, std::uint32_t* size, std::uint32_t* version) {
#ifdef VIRTUAL_VENDOR_CL_1_0
  static constexpr char kName[] = "Virtual Grabber 1.0";
  *version = 2;
#else
  static constexpr char kName[] = "Virtual Grabber";
  *version = 4;
#endif
  if (*size < sizeof kName) {
    *size = sizeof kName;
    return kBufferTooSmall;
  }
  std::memcpy(name, kName, sizeof kName);
  *size = sizeof kName;
  return 0;
}

EXPORT std::int32_t clSerialInit(std::uint32_t index, void** ref) {
  if (!g_attached || index != 0) return kInvalidIndex;
  if (const std::int32_t rc = g_hooks.open(g_hooks.port); rc != 0) return rc;
  g_open = true;
  *ref = &g_ref;
  return 0;
}

EXPORT void clSerialClose(void* ref) {
  if (!Valid(ref)) return;
  g_open = false;
  g_hooks.close(g_hooks.port);
}

EXPORT std::int32_t clSerialRead(void* ref, char* buffer, std::uint32_t* size,
                                 std::uint32_t timeoutMs) {
  if (!Valid(ref)) return kInvalidReference;
  return g_hooks.read(g_hooks.port, buffer, size, timeoutMs);
}

EXPORT std::int32_t clSerialWrite(void* ref, char* buffer, std::uint32_t* size,
                                  std::uint32_t /*timeoutMs*/) {
  if (!Valid(ref)) return kInvalidReference;
  return g_hooks.write(g_hooks.port, buffer, size);
}

#ifndef VIRTUAL_VENDOR_CL_1_0
EXPORT std::int32_t clFlushPort(void* ref) {
  if (!Valid(ref)) return kInvalidReference;
  return g_hooks.flush(g_hooks.port);
}

EXPORT std::int32_t clGetNumBytesAvail(void* ref, std::uint32_t* count) {
  if (!Valid(ref)) return kInvalidReference;
  return g_hooks.avail(g_hooks.port, count);
}
#endif

EXPORT std::int32_t clGetNumSerialPorts(std::uint32_t* count) {
  *count = 1;
  return 0;
}

EXPORT std::int32_t clGetSerialPortIdentifier(std::uint32_t index, char* type,
                                              std::uint32_t* size) {
  if (index != 0) return kInvalidIndex;
  static constexpr char kId[] = "virtual0";
  if (*size < sizeof kId) {
    *size = sizeof kId;
    return kBufferTooSmall;
  }
  std::memcpy(type, kId, sizeof kId);
  *size = sizeof kId;
  return 0;
}

EXPORT std::int32_t clGetSupportedBaudRates(void* ref, std::uint32_t* rates) {
  if (!Valid(ref)) return kInvalidReference;
  *rates = 0x1;  // 9600
  return 0;
}

EXPORT std::int32_t clSetBaudRate(void* ref, std::uint32_t rate) {
  if (!Valid(ref)) return kInvalidReference;
  return rate == 0x1 ? 0 : -10008;
}

EXPORT std::int32_t clGetErrorText(std::int32_t, char*, std::uint32_t*) { return kErrorNotFound; }
