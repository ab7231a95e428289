// The calls a test's Camera Link vendor library (virtual_vendor.cpp,
// libclservir.so) forwards to the test process: a virtual-time grabber port
// (vexq4/sim/virtual_grabber.h) behind plain function pointers, so that the
// library needs nothing of the test but this table.
#pragma once

#include <cstdint>

namespace vexq4::testing {

struct VendorHooks {
  void* port;
  std::int32_t (*open)(void* port);
  void (*close)(void* port);
  std::int32_t (*read)(void* port, char* buffer, std::uint32_t* size, std::uint32_t timeoutMs);
  std::int32_t (*write)(void* port, const char* buffer, std::uint32_t* size);
  std::int32_t (*flush)(void* port);
  std::int32_t (*avail)(void* port, std::uint32_t* count);
};

// The library's own export that takes the table (nullptr: detached; every
// call then fails).
using AttachVendorFn = void (*)(const VendorHooks*);
inline constexpr char kAttachVendor[] = "VexQ4TestAttachVendor";

}  // namespace vexq4::testing
