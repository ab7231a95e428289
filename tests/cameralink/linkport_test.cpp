// The dispatcher loaded as a user loads it (dlopen), over folders of fake
// vendor libraries. Each test loads it afresh, so discovery runs again.
#include "linkport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "cl_test_support.h"

namespace vexq4::cltest {
namespace {

class Linkport {
 public:
  // Loads liblinkport.so from `path` with VEXQ4_SYSTEM_DIR set to `systemDir`
  // (unset when empty).
  explicit Linkport(const std::string& systemDir, const char* path = LINKPORT_PATH) {
    if (systemDir.empty()) {
      unsetenv("VEXQ4_SYSTEM_DIR");
    } else {
      setenv("VEXQ4_SYSTEM_DIR", systemDir.c_str(), 1);
    }
    EXPECT_EQ(dlopen(path, RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded from an earlier test";
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle_, nullptr) << dlerror();
    unsetenv("VEXQ4_SYSTEM_DIR");
  }
  ~Linkport() { Unload(); }
  Linkport(const Linkport&) = delete;
  Linkport& operator=(const Linkport&) = delete;

  void Unload() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
  }

  template <typename Fn>
  Fn* Get(const char* name) {
    return reinterpret_cast<Fn*>(dlsym(handle_, name));
  }

  uint32_t Count() {
    uint32_t count = 99;
    EXPECT_EQ(Get<decltype(clGetNumManufacturers)>("clGetNumManufacturers")(&count), 0);
    return count;
  }
  int32_t Manufacturer(uint32_t index, std::string& name, uint32_t& version) {
    char buffer[100] = {};
    uint32_t size = sizeof buffer;
    const int32_t rc =
        Get<decltype(clGetManufacturer)>("clGetManufacturer")(index, buffer, &size, &version);
    name = buffer;
    return rc;
  }
  int32_t Select(const char* name) {
    return Get<decltype(clSelectManufacturer)>("clSelectManufacturer")(name);
  }
  int32_t NumSerialPorts(uint32_t& count) {
    return Get<decltype(clGetNumSerialPorts)>("clGetNumSerialPorts")(&count);
  }
  int32_t SerialInit(uint32_t index, void** ref) {
    return Get<decltype(clSerialInit)>("clSerialInit")(index, ref);
  }

 private:
  void* handle_ = nullptr;
};

const std::string kMain = std::string(CL_SYSTEMS) + "/main";

TEST(LinkportDiscovery, ListsUsableLibrariesInByteOrderAndIgnoresTheRest) {
  CallLog log;
  Linkport lp(kMain);
  ASSERT_EQ(lp.Count(), 4u);
  const struct {
    const char* name;
    uint32_t version;
  } expected[] = {
      {"Alpha Grabbers", 3}, {"Beta Vision", 4}, {"clserv1x.so", 1}, {"Missing Parts", 4}};
  for (uint32_t i = 0; i < 4; ++i) {
    std::string name;
    uint32_t version = 0;
    EXPECT_EQ(lp.Manufacturer(i, name, version), 0);
    EXPECT_EQ(name, expected[i].name);
    EXPECT_EQ(version, expected[i].version);
  }
  // Every vendor library was loaded once to be looked at, and let go again.
  for (const char* tag : {"alp", "bet", "nil", "v1x", "mis"}) {
    EXPECT_EQ(log.Count(std::string(tag) + " load"), 1) << tag;
    EXPECT_EQ(log.Count(std::string(tag) + " unload"), 1) << tag;
  }
  // Only the dispatcher's own functions and the standard serial ones.
  EXPECT_EQ(lp.Get<void>("clGetManufacturerInfo"), nullptr);
}

TEST(LinkportDiscovery, NameSizeProtocol) {
  Linkport lp(kMain);
  auto get = lp.Get<decltype(clGetManufacturer)>("clGetManufacturer");
  char name[32];
  std::memset(name, '#', sizeof name);
  uint32_t size = 5;
  uint32_t version = 77;
  EXPECT_EQ(get(0, name, &size, &version), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 15u);  // "Alpha Grabbers" and its NUL
  EXPECT_EQ(name[0], '#');
  EXPECT_EQ(version, 77u);
  EXPECT_EQ(get(0, name, &size, &version), 0);
  EXPECT_STREQ(name, "Alpha Grabbers");
  EXPECT_EQ(name[15], '#');
  EXPECT_EQ(version, 3u);
  // A library without a name of its own needs its file name's length + 1.
  size = 1;
  EXPECT_EQ(get(2, name, &size, &version), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 12u);
  size = 100;
  EXPECT_EQ(get(4, name, &size, &version), CL_ERR_INVALID_INDEX);
  EXPECT_EQ(size, 100u);
}

TEST(LinkportDiscovery, NameSizeIsTheVendorsButNeverTooSmallForTheName) {
  Linkport lp(std::string(CL_SYSTEMS) + "/sizes");
  auto get = lp.Get<decltype(clGetManufacturer)>("clGetManufacturer");
  char name[128];
  uint32_t version = 0;
  // "Big Size" reported 120: that is what a caller is told to provide.
  uint32_t size = 100;
  EXPECT_EQ(get(0, name, &size, &version), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 120u);
  EXPECT_EQ(get(0, name, &size, &version), 0);
  EXPECT_STREQ(name, "Big Size");
  EXPECT_EQ(size, 120u);
  // "Low Size Grabber" reported 4; copying it needs 17.
  std::memset(name, '#', sizeof name);
  size = 4;
  EXPECT_EQ(get(1, name, &size, &version), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 17u);
  EXPECT_EQ(name[0], '#');
  EXPECT_EQ(get(1, name, &size, &version), 0);
  EXPECT_STREQ(name, "Low Size Grabber");
  EXPECT_EQ(name[17], '#');
}

TEST(LinkportSelection, ByEitherNameAndWithoutReloadingTheSameOne) {
  CallLog log;
  Linkport lp(kMain);
  EXPECT_EQ(lp.Select("No Such Grabber"), CL_ERR_MANU_DOES_NOT_EXIST);
  EXPECT_EQ(lp.Select("alpha grabbers"), CL_ERR_MANU_DOES_NOT_EXIST);  // case counts
  EXPECT_EQ(lp.Select("Alpha Grabbers"), 0);
  EXPECT_EQ(log.Count("alp load"), 2);  // discovery, then selection
  EXPECT_EQ(lp.Select("clseralp.so"), 0);
  EXPECT_EQ(lp.Select("Alpha Grabbers"), 0);
  EXPECT_EQ(log.Count("alp load"), 2);

  uint32_t ports = 0;
  EXPECT_EQ(lp.NumSerialPorts(ports), 0);
  EXPECT_EQ(ports, 2u);
  EXPECT_EQ(lp.Select("clserbet.so"), 0);
  EXPECT_EQ(lp.NumSerialPorts(ports), 0);
  EXPECT_EQ(ports, 0u);
  EXPECT_EQ(log.Count("bet clGetNumSerialPorts"), 1);

  // Unloading the dispatcher unloads what it selected.
  const int unloadsBefore = log.Count("bet unload");
  lp.Unload();
  EXPECT_EQ(log.Count("bet unload"), unloadsBefore + 1);
}

TEST(LinkportSelection, VersionOneForwardsOnlyTheSerialCalls) {
  CallLog log;
  Linkport lp(kMain);
  ASSERT_EQ(lp.Select("clserv1x.so"), 0);
  uint32_t ports = 42;
  EXPECT_EQ(lp.NumSerialPorts(ports), CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(ports, 42u);
  void* ref = nullptr;
  EXPECT_EQ(lp.SerialInit(0, &ref), 0);
  EXPECT_NE(ref, nullptr);
  EXPECT_EQ(log.Count("v1x clSerialInit 0"), 1);
  EXPECT_EQ(lp.SerialInit(1, &ref), CL_ERR_INVALID_INDEX);  // the vendor's own answer

  // Write and read reach the vendor and come back unchanged.
  char query[] = "SH?\r\n";
  uint32_t length = 5;
  EXPECT_EQ(lp.Get<decltype(clSerialWrite)>("clSerialWrite")(ref, query, &length, 600), 0);
  char reply[16] = {};
  uint32_t count = 6;
  EXPECT_EQ(lp.Get<decltype(clSerialRead)>("clSerialRead")(ref, reply, &count, 600), 0);
  EXPECT_EQ(std::string(reply, count), "SH=0\r\n");

  char text[64];
  uint32_t textSize = sizeof text;
  EXPECT_EQ(lp.Get<decltype(clGetErrorText)>("clGetErrorText")(-10004, text, &textSize),
            CL_ERR_FUNCTION_NOT_FOUND);
  uint32_t rates = 0;
  EXPECT_EQ(lp.Get<decltype(clGetSupportedBaudRates)>("clGetSupportedBaudRates")(ref, &rates),
            CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(lp.Get<decltype(clSetBaudRate)>("clSetBaudRate")(ref, CL_BAUDRATE_9600),
            CL_ERR_FUNCTION_NOT_FOUND);
  lp.Get<decltype(clSerialClose)>("clSerialClose")(ref);
  EXPECT_EQ(log.Count("v1x clSerialClose 1"), 1);
}

// clFlushPort and clGetNumBytesAvail (Camera Link 1.1) reach a library that
// has them; one without them, or no selection, gives "function not found".
TEST(LinkportSelection, FlushAndBytesAvailableOnlyWhereTheLibraryHasThem) {
  CallLog log;
  Linkport lp(kMain);
  auto flush = lp.Get<decltype(clFlushPort)>("clFlushPort");
  auto avail = lp.Get<decltype(clGetNumBytesAvail)>("clGetNumBytesAvail");
  ASSERT_NE(flush, nullptr);
  ASSERT_NE(avail, nullptr);
  uint32_t count = 77;
  EXPECT_EQ(avail(nullptr, &count), CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(flush(nullptr), CL_ERR_FUNCTION_NOT_FOUND);

  ASSERT_EQ(lp.Select("Alpha Grabbers"), 0);
  void* ref = nullptr;
  ASSERT_EQ(lp.SerialInit(0, &ref), 0);
  char query[] = "GA?\r\n";
  uint32_t length = 5;
  ASSERT_EQ(lp.Get<decltype(clSerialWrite)>("clSerialWrite")(ref, query, &length, 600), 0);
  EXPECT_EQ(avail(ref, &count), 0);
  EXPECT_EQ(count, 6u);  // "GA=0\r\n"
  EXPECT_EQ(flush(ref), 0);
  EXPECT_EQ(log.Count("alp clFlushPort 1"), 1);
  EXPECT_EQ(avail(ref, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(avail(nullptr, &count), CL_ERR_INVALID_REFERENCE);  // the vendor's own answer

  ASSERT_EQ(lp.Select("Beta Vision"), 0);  // version 4, but without them
  count = 77;
  EXPECT_EQ(avail(ref, &count), CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(flush(ref), CL_ERR_FUNCTION_NOT_FOUND);
}

TEST(LinkportSelection, NothingSelectedCallsNothing) {
  CallLog log;
  Linkport lp(kMain);
  const auto before = log.Lines().size();
  void* ref = nullptr;
  EXPECT_EQ(lp.SerialInit(0, &ref), CL_ERR_FUNCTION_NOT_FOUND);
  uint32_t ports = 0;
  EXPECT_EQ(lp.NumSerialPorts(ports), CL_ERR_FUNCTION_NOT_FOUND);
  char buffer[8] = {};
  uint32_t size = sizeof buffer;
  EXPECT_EQ(lp.Get<decltype(clSerialRead)>("clSerialRead")(ref, buffer, &size, 10),
            CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(lp.Get<decltype(clSerialWrite)>("clSerialWrite")(ref, buffer, &size, 10),
            CL_ERR_FUNCTION_NOT_FOUND);
  lp.Get<decltype(clSerialClose)>("clSerialClose")(ref);
  EXPECT_EQ(log.Lines().size(), before);
}

TEST(LinkportSelection, LibraryLackingAFunctionLeavesNothingSelected) {
  CallLog log;
  Linkport lp(kMain);
  ASSERT_EQ(lp.Select("Beta Vision"), 0);
  // Version 4 without clGetErrorText.
  EXPECT_EQ(lp.Select("Missing Parts"), CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(log.Count("mis unload"), 2);  // discovery and the failed selection
  void* ref = nullptr;
  EXPECT_EQ(lp.SerialInit(0, &ref), CL_ERR_FUNCTION_NOT_FOUND);
  EXPECT_EQ(log.Count("bet clSerialInit"), 0);
  // Selecting again after a failure loads again.
  EXPECT_EQ(lp.Select("Beta Vision"), 0);
  EXPECT_EQ(lp.SerialInit(0, &ref), 0);
  EXPECT_EQ(log.Count("bet clSerialInit 0"), 1);
}

TEST(LinkportDiscovery, LoadFailureEndsTheScanWithAnErrorLine) {
  CallLog log;
  StderrCapture err;
  Linkport lp(std::string(CL_SYSTEMS) + "/bad");
  EXPECT_EQ(lp.Count(), 1u);
  std::string name;
  uint32_t version = 0;
  EXPECT_EQ(lp.Manufacturer(0, name, version), 0);
  EXPECT_EQ(name, "Alpha Grabbers");
  EXPECT_EQ(log.Count("v1x load"), 0);  // after the bad one: never tried
  const std::string text = err.Text();
  EXPECT_EQ(text.rfind("Error: ", 0), 0u) << text;
  EXPECT_NE(text.find("clserbad.so"), std::string::npos) << text;
}

TEST(LinkportDiscovery, NoLibrariesGiveNoManufacturers) {
  Linkport lp(std::string(CL_SYSTEMS) + "/empty");
  EXPECT_EQ(lp.Count(), 0u);
  std::string name;
  uint32_t version = 0;
  EXPECT_EQ(lp.Manufacturer(0, name, version), CL_ERR_INVALID_INDEX);
  EXPECT_EQ(lp.Select("clseralp.so"), CL_ERR_MANU_DOES_NOT_EXIST);
}

TEST(LinkportDiscovery, KeepsSixteenLibrariesAtMost) {
  Linkport lp(std::string(CL_SYSTEMS) + "/many");
  ASSERT_EQ(lp.Count(), 16u);
  std::string name;
  uint32_t version = 0;
  EXPECT_EQ(lp.Manufacturer(15, name, version), 0);
  EXPECT_EQ(name, "clser015.so");
  EXPECT_EQ(lp.Select("clser016.so"), CL_ERR_MANU_DOES_NOT_EXIST);
}

TEST(LinkportDiscovery, OrderIsByteOrderOfTheFileNames) {
  Linkport lp(std::string(CL_SYSTEMS) + "/order");
  ASSERT_EQ(lp.Count(), 4u);
  const char* expected[] = {"clserZed.so", "clser_ab.so", "clseraaa.so", "libclserAAA.so"};
  for (uint32_t i = 0; i < 4; ++i) {
    std::string name;
    uint32_t version = 0;
    EXPECT_EQ(lp.Manufacturer(i, name, version), 0);
    EXPECT_EQ(name, expected[i]);
  }
}

TEST(LinkportDiscovery, DefaultFolderIsTheDispatchersOwn) {
  const std::string beside = std::string(CL_SYSTEMS) + "/beside";
  Linkport lp("", (beside + "/liblinkport.so").c_str());
  ASSERT_EQ(lp.Count(), 1u);
  std::string name;
  uint32_t version = 0;
  EXPECT_EQ(lp.Manufacturer(0, name, version), 0);
  EXPECT_EQ(name, "Alpha Grabbers");
}

}  // namespace
}  // namespace vexq4::cltest
