// A failed load of liblinkport.so is not tried again until VexQ4ExitComm.
// This executable has a folder of its own: the test puts the library beside
// it halfway through.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "VexQ4Comm.h"
#include "cl_test_support.h"

namespace {

namespace fs = std::filesystem;

fs::path OwnDirectory() { return fs::read_symlink("/proc/self/exe").parent_path(); }

TEST(CameraLinkLoader, FailedLoadIsRetriedOnlyAfterExitComm) {
  const fs::path beside = OwnDirectory() / "liblinkport.so";
  fs::remove(beside);
  setenv("VEXQ4_SYSTEM_DIR", CL_SYSTEMS "/main", 1);

  unsigned count = 0;
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(count, 1u);

  fs::copy_file(LINKPORT_PATH, beside, fs::copy_options::overwrite_existing);
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(VexQ4CLSerialSelectManufacturer("Beta Vision"), VEXQ4_E_CAMERA_LINK);
  EXPECT_EQ(dlopen(beside.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);

  EXPECT_EQ(VexQ4ExitComm(0), VEXQ4_OK);
  EXPECT_EQ(VexQ4CLSerialGetNumManufacturers(&count), VEXQ4_OK);
  EXPECT_EQ(count, 5u);  // "COM-ports" and linkport's four

  VexQ4ExitComm(0);
  EXPECT_EQ(dlopen(beside.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);  // unloaded again
  fs::remove(beside);
}

}  // namespace
