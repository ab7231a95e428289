// The simulated grabber's vendor library on a pseudo-terminal of the test's
// own: time-outs, exclusive use, references, hang-up.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "linkport.h"

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class GrabberLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    setenv("VEXQ4_CLSERSIM_DEVICE", ptsname(master_), 1);
    lib_ = dlopen(CLSERSIM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    init_ = reinterpret_cast<decltype(&clSerialInit)>(dlsym(lib_, "clSerialInit"));
    read_ = reinterpret_cast<decltype(&clSerialRead)>(dlsym(lib_, "clSerialRead"));
    write_ = reinterpret_cast<decltype(&clSerialWrite)>(dlsym(lib_, "clSerialWrite"));
    close_ = reinterpret_cast<decltype(&clSerialClose)>(dlsym(lib_, "clSerialClose"));
  }
  void TearDown() override {
    if (lib_) dlclose(lib_);
    if (master_ >= 0) close(master_);
    unsetenv("VEXQ4_CLSERSIM_DEVICE");
  }

  int master_ = -1;
  void* lib_ = nullptr;
  decltype(&clSerialInit) init_ = nullptr;
  decltype(&clSerialRead) read_ = nullptr;
  decltype(&clSerialWrite) write_ = nullptr;
  decltype(&clSerialClose) close_ = nullptr;
};

TEST_F(GrabberLibrary, ReportsItselfWithTheSizeProtocol) {
  auto info = reinterpret_cast<int32_t (*)(char*, uint32_t*, uint32_t*)>(
      dlsym(lib_, "clGetManufacturerInfo"));
  ASSERT_NE(info, nullptr);
  char name[100] = {};
  uint32_t size = 4;
  uint32_t version = 0;
  EXPECT_EQ(info(name, &size, &version), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 24u);
  EXPECT_EQ(info(name, &size, &version), 0);
  EXPECT_STREQ(name, "RX-Q4 Simulated Grabber");
  EXPECT_EQ(version, 4u);
}

TEST_F(GrabberLibrary, MovesBytesBothWaysAndHonoursTheReadTimeOut) {
  void* ref = nullptr;
  ASSERT_EQ(init_(0, &ref), 0);
  char out[] = "SH?\r\n";
  uint32_t length = 5;
  EXPECT_EQ(write_(ref, out, &length, 600), 0);
  EXPECT_EQ(length, 5u);
  char seen[8] = {};
  EXPECT_EQ(read(master_, seen, sizeof seen), 5);
  EXPECT_STREQ(seen, "SH?\r\n");

  ASSERT_EQ(write(master_, "SH=3\r\n", 6), 6);
  char in[16] = {};
  uint32_t count = 6;
  EXPECT_EQ(read_(ref, in, &count, 600), 0);
  EXPECT_EQ(std::string(in, count), "SH=3\r\n");

  count = 1;
  const auto start = Clock::now();
  EXPECT_EQ(read_(ref, in, &count, 120), CL_ERR_TIMEOUT);
  EXPECT_EQ(count, 0u);
  EXPECT_GE(ElapsedMs(start), 110);
  EXPECT_LT(ElapsedMs(start), 1000);
  close_(ref);
}

// Camera Link 1.1's two: what is there is counted and discarded at once.
// The Camera Link 1.0 variant has neither.
TEST_F(GrabberLibrary, CountsAndFlushesWhatIsThereButNotAsCameraLink10) {
  auto flush = reinterpret_cast<decltype(&clFlushPort)>(dlsym(lib_, "clFlushPort"));
  auto avail = reinterpret_cast<decltype(&clGetNumBytesAvail)>(dlsym(lib_, "clGetNumBytesAvail"));
  ASSERT_NE(flush, nullptr);
  ASSERT_NE(avail, nullptr);
  void* ref = nullptr;
  ASSERT_EQ(init_(0, &ref), 0);
  uint32_t count = 99;
  EXPECT_EQ(avail(ref, &count), 0);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(write(master_, "GA=7\r\nSH=1\r\n", 12), 12);
  for (int i = 0; i < 100 && avail(ref, &count) == 0 && count < 12; ++i) usleep(2000);
  EXPECT_EQ(count, 12u);
  char in[4] = {};
  uint32_t some = 4;
  EXPECT_EQ(read_(ref, in, &some, 10), 0);
  EXPECT_EQ(avail(ref, &count), 0);
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(flush(ref), 0);
  EXPECT_EQ(avail(ref, &count), 0);
  EXPECT_EQ(count, 0u);
  int stranger = 0;
  EXPECT_EQ(flush(&stranger), CL_ERR_INVALID_REFERENCE);
  close_(ref);

  void* old = dlopen(CLSERSIM_1_0_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(old, nullptr) << dlerror();
  EXPECT_EQ(dlsym(old, "clFlushPort"), nullptr);
  EXPECT_EQ(dlsym(old, "clGetNumBytesAvail"), nullptr);
  auto info = reinterpret_cast<int32_t (*)(char*, uint32_t*, uint32_t*)>(
      dlsym(old, "clGetManufacturerInfo"));
  char name[100] = {};
  uint32_t size = sizeof name;
  uint32_t version = 0;
  EXPECT_EQ(info(name, &size, &version), 0);
  EXPECT_STREQ(name, "RX-Q4 Simulated Grabber (Camera Link 1.0)");
  EXPECT_EQ(version, 2u);
  dlclose(old);
}

TEST_F(GrabberLibrary, PortIsExclusiveAndReferencesAreChecked) {
  void* ref = nullptr;
  EXPECT_EQ(init_(1, &ref), CL_ERR_INVALID_INDEX);
  ASSERT_EQ(init_(0, &ref), 0);
  void* second = nullptr;
  EXPECT_EQ(init_(0, &second), CL_ERR_PORT_IN_USE);
  char byte = 0;
  uint32_t count = 1;
  int stranger = 0;
  EXPECT_EQ(read_(&stranger, &byte, &count, 10), CL_ERR_INVALID_REFERENCE);
  close_(ref);
  EXPECT_EQ(read_(ref, &byte, &count, 10), CL_ERR_INVALID_REFERENCE);
  ASSERT_EQ(init_(0, &second), 0);  // free again after closing
  close_(second);

  unsetenv("VEXQ4_CLSERSIM_DEVICE");
  EXPECT_EQ(init_(0, &ref), CL_ERR_INVALID_INDEX);
}

TEST_F(GrabberLibrary, HungUpLineWaitsOutTheTimeOut) {
  void* ref = nullptr;
  ASSERT_EQ(init_(0, &ref), 0);
  close(master_);
  master_ = -1;
  char byte = 0;
  uint32_t count = 1;
  const auto start = Clock::now();
  EXPECT_EQ(read_(ref, &byte, &count, 150), CL_ERR_TIMEOUT);
  EXPECT_EQ(count, 0u);
  EXPECT_GE(ElapsedMs(start), 140);
  close_(ref);
}

}  // namespace
