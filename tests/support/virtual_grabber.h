// A frame grabber whose Camera Link port is the camera of a VirtualLink, in
// virtual time: the test's vendor library (libclservir.so) attached to a
// VirtualGrabberPort and listed by linkport through VEXQ4_SYSTEM_DIR, as
// grabber entry 1. Tests that use it are set up by
// vexq4_use_virtual_grabber() (tests/support/CMakeLists.txt).
//
// liblinkport.so is loaded here first, by its path, so that VexQ4Comm's
// load by name finds it loaded whatever the loader's search path is (a
// sanitizer's dlopen does not look where the executable's run path says);
// it stays loaded, and its list of vendors made, while the grabber lives.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include "vexq4/sim/virtual_grabber.h"
#include "virtual_vendor.h"

namespace vexq4::testing {

class VirtualGrabber {
 public:
  // `cameraLink11`: the vendor library flushes and counts its input;
  // otherwise it is a Camera Link 1.0 library without both.
  explicit VirtualGrabber(sim::VirtualLink& link, bool cameraLink11 = true)
      : port_(link),
        dir_(cameraLink11 ? VIRTUAL_GRABBER_DIR "/cl-1.1" : VIRTUAL_GRABBER_DIR "/cl-1.0") {
    const std::string path = dir_ + "/libclservir.so";
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library_, nullptr) << dlerror();
    if (!library_) return;
    const auto attach = reinterpret_cast<AttachVendorFn>(dlsym(library_, kAttachVendor));
    EXPECT_NE(attach, nullptr);
    hooks_.port = &port_;
    hooks_.open = [](void* p) { return Port(p).Open(); };
    hooks_.close = [](void* p) { Port(p).Close(); };
    hooks_.read = [](void* p, char* b, std::uint32_t* n, std::uint32_t t) {
      return Port(p).Read(b, n, t);
    };
    hooks_.write = [](void* p, const char* b, std::uint32_t* n) { return Port(p).Write(b, n); };
    hooks_.flush = [](void* p) { return Port(p).Flush(); };
    hooks_.avail = [](void* p, std::uint32_t* n) { return Port(p).BytesAvailable(n); };
    if (attach) attach(&hooks_);
    setenv("VEXQ4_SYSTEM_DIR", dir_.c_str(), 1);
    linkport_ = dlopen(LINKPORT_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(linkport_, nullptr) << dlerror();
  }
  ~VirtualGrabber() {
    unsetenv("VEXQ4_SYSTEM_DIR");
    if (linkport_) dlclose(linkport_);
    if (!library_) return;
    if (const auto attach = reinterpret_cast<AttachVendorFn>(dlsym(library_, kAttachVendor)))
      attach(nullptr);
    dlclose(library_);
  }
  VirtualGrabber(const VirtualGrabber&) = delete;
  VirtualGrabber& operator=(const VirtualGrabber&) = delete;

  sim::VirtualGrabberPort& port() { return port_; }

 private:
  static sim::VirtualGrabberPort& Port(void* p) {
    return *static_cast<sim::VirtualGrabberPort*>(p);
  }

  sim::VirtualGrabberPort port_;
  std::string dir_;
  void* library_ = nullptr;
  void* linkport_ = nullptr;
  VendorHooks hooks_{};
};

}  // namespace vexq4::testing
