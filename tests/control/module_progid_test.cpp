// Registration end to end, in separate processes as users run them:
// vexq4-studio --register/--unregister into a private registry folder, a
// second process creating the control by ProgID (a host linked like the
// studio, and a foreign host that knows only the registry), and the
// fallback to the linked module when nothing usable is registered.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "process.h"
#include "test_dir.h"

namespace {

namespace fs = std::filesystem;
using vexq4::cli::test::Result;
using vexq4::cli::test::RunProgram;
using vexq4::testing::ReadFile;
using vexq4::testing::TestDir;

const std::string kStudio = VEXQ4_STUDIO_EXE;
const std::string kLinkedHost = VEXQ4_LINKED_HOST_EXE;
const std::string kForeignHost = VEXQ4_FOREIGN_HOST_EXE;
const fs::path kModule = fs::canonical(VEXQ4_MODULE_FILE);
const fs::path kComm = fs::canonical(VEXQ4_COMM_FILE);
constexpr char kProgId[] = "XVEXQ4.XVexQ4Ctrl.1";

class ProgIdTest : public ::testing::Test {
 protected:
  TestDir dir{"vexq4-progid"};
  fs::path registry = dir / "registry";

  std::vector<std::string> Env() const {
    return {"VEXQ4_REGISTRY_DIR=" + registry.string(), "VEXQ4_PROFILE_DIR=" + dir.path().string(),
            "QT_QPA_PLATFORM=offscreen"};
  }
  Result Run(const std::vector<std::string>& argv) const {
    return RunProgram(argv, "", 30000, Env());
  }
  std::map<std::string, std::string> Entries() const {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(registry, ec))
      files[e.path().filename().string()] = ReadFile(e.path());
    return files;
  }
  static bool Says(const Result& r, const std::string& line) {
    return r.out.find(line + "\n") != std::string::npos;
  }
};

TEST_F(ProgIdTest, TheStudioRegistersAndASecondProcessCreatesTheControlByProgId) {
  Result r = Run({kStudio, "--register"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto first = Entries();
  ASSERT_EQ(first.size(), 3u);
  for (const auto& [name, text] : first)
    EXPECT_NE(text.find("Module=" + kModule.string() + "\r\n"), std::string::npos) << name;
  ASSERT_EQ(Run({kStudio, "--register"}).exitStatus, 0);
  EXPECT_EQ(Entries(), first);

  r = Run({kLinkedHost});
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
  EXPECT_TRUE(Says(r, "source: registry: " + kModule.string())) << r.out;
  EXPECT_TRUE(Says(r, "class: CXVexCamCtrl")) << r.out;
  EXPECT_TRUE(Says(r, "code: " + kModule.string())) << r.out;
  EXPECT_TRUE(Says(r, "unload: 1")) << r.out;
  EXPECT_TRUE(Says(r, "unload-after: 0")) << r.out;

  // The studio itself runs on the registered control.
  r = RunProgram({kStudio, "-platform", "offscreen", "--script", "-"}, "get ShowAboutWnd\n", 30000,
                 Env());
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, "ShowAboutWnd=0\n");

  ASSERT_EQ(Run({kStudio, "--unregister"}).exitStatus, 0);
  EXPECT_TRUE(Entries().empty());
  r = Run({kLinkedHost});
  ASSERT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(Says(r, "source: built-in module")) << r.out;
}

TEST_F(ProgIdTest, AForeignHostCreatesTheControlFromTheRegisteredModule) {
  // An installation of its own: the module and the library it needs.
  const fs::path alt = dir / "alt";
  fs::create_directory(alt);
  fs::copy_file(kModule, alt / "libXVexQ4.so");
  fs::copy_file(kComm, alt / "libVexQ4Comm.so");
  const std::string module = fs::canonical(alt / "libXVexQ4.so").string();

  Result r = Run({kForeignHost, "register", module});
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
  r = Run({kForeignHost, "create", kProgId});
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
  EXPECT_TRUE(Says(r, "module: " + module)) << r.out;
  EXPECT_TRUE(Says(r, "class: CXVexCamCtrl")) << r.out;
  EXPECT_TRUE(Says(r, "code: " + module)) << r.out;
  EXPECT_TRUE(Says(r, "unload: 1")) << r.out;
  EXPECT_TRUE(Says(r, "unload-after: 0")) << r.out;

  // A host linked with the module keeps its own: another copy cannot serve
  // it beside the one it runs.
  r = Run({kLinkedHost});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(Says(r, "source: built-in module")) << r.out;
  EXPECT_TRUE(Says(r, "code: " + kModule.string())) << r.out;
  EXPECT_NE(r.err.find("the registry names " + module), std::string::npos) << r.err;

  // ... and so it does when the registered one has gone.
  fs::remove(alt / "libXVexQ4.so");
  r = Run({kLinkedHost});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(Says(r, "source: built-in module")) << r.out;
  EXPECT_TRUE(Says(r, "code: " + kModule.string())) << r.out;

  ASSERT_EQ(Run({kStudio, "--unregister"}).exitStatus, 0);
  EXPECT_TRUE(Entries().empty());
  r = Run({kForeignHost, "create", kProgId});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Says(r, std::string("not registered: ") + kProgId)) << r.out;
}

TEST_F(ProgIdTest, ARegistryThatCannotBeWrittenFailsTheRegistration) {
  vexq4::testing::WriteFile(registry, "a file, not a folder");
  Result r = Run({kStudio, "--register"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(ReadFile(registry), "a file, not a folder");
  r = RunProgram({kStudio, "--register"}, "", 30000,
                 {"VEXQ4_REGISTRY_DIR=/dev/full/registry", "QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(r.exitStatus, 1);
}

}  // namespace
