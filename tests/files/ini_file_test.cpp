#include "vexq4/platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "test_dir.h"
#include "vexq4/platform/abandon.h"

namespace vexq4::platform {
namespace {

using testing::CountEntries;
using testing::ReadFile;
using testing::TestDir;
using testing::WriteFile;

constexpr std::string_view kForeign =
    "; written by hand\n"
    "top=level\n"
    "\n"
    "[Other]\n"
    "Key = kept\n"
    "\n"
    "[Shutter]\n"
    "# a comment\n"
    "  Shutter Speed  =   1/100   \n"
    "Unknown Key=whatever\n"
    "\n"
    "[Tail]\n"
    "x=1";  // last line without a line end

TEST(ProfileRead, ForeignFileWithLfLineEnds) {
  TestDir dir;
  const auto file = dir / "foreign.cam";
  WriteFile(file, kForeign);

  EXPECT_EQ(GetProfileString(file, "Shutter", "Shutter Speed", "Not Found"), "1/100");
  EXPECT_EQ(GetProfileString(file, "SHUTTER", "shutter speed", "Not Found"), "1/100");
  EXPECT_EQ(GetProfileString(file, " other ", "KEY", "-"), "kept");
  EXPECT_EQ(GetProfileString(file, "Tail", "x", "-"), "1");
  // Lines before the first section and comments are no keys.
  EXPECT_EQ(GetProfileString(file, "Shutter", "# a comment", "-"), "-");
  EXPECT_EQ(GetProfileString(file, "Shutter", "top", "-"), "-");
  EXPECT_EQ(GetProfileString(file, "Missing", "x", "Not Found"), "Not Found");
  EXPECT_EQ(GetProfileString(dir / "absent.cam", "Tail", "x", "d"), "d");
  // A pipe without a writer or an endless device reads as no file at all.
  ASSERT_EQ(::mkfifo((dir / "pipe.cam").c_str(), 0600), 0);
  EXPECT_EQ(GetProfileString(dir / "pipe.cam", "Tail", "x", "d"), "d");
  EXPECT_EQ(GetProfileString("/dev/zero", "Tail", "x", "d"), "d");
}

TEST(ProfileRead, CrLfAndValueLimit) {
  TestDir dir;
  const auto file = dir / "a.ini";
  const std::string longValue(300, 'v');
  WriteFile(file, "[S]\r\nk=  " + longValue + "  \r\nempty=\r\nn= -42abc\r\nbad=x1\r\n");

  EXPECT_EQ(GetProfileString(file, "S", "k", ""), std::string(254, 'v'));
  EXPECT_EQ(GetProfileString(file, "S", "empty", "d"), "");
  EXPECT_EQ(GetProfileString(file, "S", "missing", longValue), std::string(254, 'v'));
  EXPECT_EQ(GetProfileInt(file, "S", "n", 7), -42);
  EXPECT_EQ(GetProfileInt(file, "S", "bad", 7), 7);
  EXPECT_EQ(GetProfileInt(file, "S", "missing", 7), 7);

  WriteFile(file, "\xEF\xBB\xBF[Main]\r\nCamera Type=RX-Q4\r\n");
  EXPECT_EQ(GetProfileString(file, "Main", "Camera Type", ""), "RX-Q4");
}

// A file larger than any profile is not read into memory: it reads as
// unreadable, and a write does not replace it.
TEST(ProfileRead, OversizedFileIsNotRead) {
  TestDir dir;
  const auto file = dir / "huge.cam";
  std::string text = "[Main]\r\nCamera Type=RX-Q4\r\n";
  text.resize(kProfileFileMax + 1, ';');
  WriteFile(file, text);
  ProfileDocument doc;
  EXPECT_FALSE(doc.Load(file));
  EXPECT_EQ(GetProfileString(file, "Main", "Camera Type", "none"), "none");
  EXPECT_FALSE(WriteProfileString(file, "Main", "Camera Type", "X"));
  EXPECT_EQ(std::filesystem::file_size(file), kProfileFileMax + 1);

  text.resize(kProfileFileMax);  // the largest that is read
  WriteFile(file, text);
  EXPECT_EQ(GetProfileString(file, "Main", "Camera Type", "none"), "RX-Q4");
}

TEST(ProfileWrite, KeepsForeignLinesAndWritesCrLf) {
  TestDir dir;
  const auto file = dir / "foreign.cam";
  WriteFile(file, kForeign);

  ASSERT_TRUE(WriteProfileString(file, "shutter", "SHUTTER SPEED", "1/60"));
  ASSERT_TRUE(WriteProfileString(file, "Shutter", "Smearless", "1"));
  ASSERT_TRUE(WriteProfileString(file, "Tail", "y", "2"));
  ASSERT_TRUE(WriteProfileString(file, "Gain", "Master Gain Level", "-20"));

  // Every line of a written file ends with CR LF, the foreign ones included.
  EXPECT_EQ(ReadFile(file),
            "; written by hand\r\n"
            "top=level\r\n"
            "\r\n"
            "[Other]\r\n"
            "Key = kept\r\n"
            "\r\n"
            "[Shutter]\r\n"
            "# a comment\r\n"
            "SHUTTER SPEED=1/60\r\n"
            "Unknown Key=whatever\r\n"
            "Smearless=1\r\n"
            "\r\n"
            "[Tail]\r\n"
            "x=1\r\n"
            "y=2\r\n"
            "[Gain]\r\n"
            "Master Gain Level=-20\r\n");
  EXPECT_EQ(GetProfileString(file, "Shutter", "Shutter Speed", ""), "1/60");
  EXPECT_EQ(CountEntries(dir.path()), 1);  // no temporary file left
}

TEST(ProfileWrite, CreatesFileWithCrLfAndReplacesFirstDuplicate) {
  TestDir dir;
  const auto file = dir / "new.ini";
  ASSERT_TRUE(WriteProfileString(file, "Main", "Camera Type", "RX-Q4"));
  ASSERT_TRUE(WriteProfileString(file, "Main", "Other", " padded "));
  EXPECT_EQ(ReadFile(file), "[Main]\r\nCamera Type=RX-Q4\r\nOther= padded \r\n");
  EXPECT_EQ(GetProfileString(file, "Main", "Other", ""), "padded");

  WriteFile(file, "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n");
  EXPECT_EQ(GetProfileString(file, "a", "K", ""), "1");
  ASSERT_TRUE(WriteProfileString(file, "a", "k", "9"));
  EXPECT_EQ(ReadFile(file), "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n");
}

TEST(ProfileWrite, RefusesNamesAndValuesThatBreakLines) {
  TestDir dir;
  const auto file = dir / "x.ini";
  WriteFile(file, "[S]\r\nk=1\r\n");
  EXPECT_FALSE(WriteProfileString(file, "S", "k", "1\r\n[Evil]"));
  EXPECT_FALSE(WriteProfileString(file, "S", "a=b", "1"));
  EXPECT_FALSE(WriteProfileString(file, "S]x", "k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "", "k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "S", "  ", "1"));
  EXPECT_FALSE(WriteProfileString(file, "S", ";k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "S", " #k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "S", "[k", "1"));
  EXPECT_FALSE(WriteProfileString(file, " S", "k", "1"));  // would read back as "S"
  EXPECT_FALSE(WriteProfileString(file, "S\t", "k", "1"));
  EXPECT_EQ(ReadFile(file), "[S]\r\nk=1\r\n");
}

// A byte order mark opens a file; anywhere else its bytes are text, so a
// key that begins with them stays a key and the keys after it stay in
// their section.
TEST(ProfileWrite, ByteOrderMarkOnlyOnTheFirstLine) {
  const std::string bom = "\xEF\xBB\xBF";
  ProfileDocument doc;
  doc.Parse(bom + "[S]\r\nk=1\r\n");
  ASSERT_TRUE(doc.Set("S", bom + "[e0", ""));
  ASSERT_TRUE(doc.Set("S", "after", "2"));
  ProfileDocument reread;
  reread.Parse(doc.Text());
  EXPECT_EQ(reread.Get("S", bom + "[e0"), "");
  EXPECT_EQ(reread.Get("S", "after"), "2");
  EXPECT_EQ(reread.Get("S", "k"), "1");
  EXPECT_EQ(reread.Get("e0=", "after"), std::nullopt);

  // A mark in front of a later header leaves it a plain line.
  reread.Parse("[A]\r\n" + bom + "[B]\r\nk=1\r\n");
  EXPECT_EQ(reread.Get("A", "k"), "1");
  EXPECT_EQ(reread.Get("B", "k"), std::nullopt);
}

TEST(ProfileWrite, FailedWriteKeepsOldFileWhole) {
  TestDir dir;
  const auto file = dir / "old.ini";
  WriteFile(file, "[S]\r\nk=old\r\n");

  // A file-size limit makes the write of the temporary file fail half way.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = WriteProfileString(file, "S", "k", std::string(200, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadFile(file), "[S]\r\nk=old\r\n");
  EXPECT_EQ(CountEntries(dir.path()), 1);

  // A folder that is not there, and a path whose parent is a plain file.
  EXPECT_FALSE(WriteProfileString(dir / "missing" / "a.ini", "S", "k", "v"));
  EXPECT_FALSE(WriteProfileString(file / "a.ini", "S", "k", "v"));
  // An existing path that cannot be read (a folder) is not replaced.
  std::filesystem::create_directory(dir / "sub.ini");
  EXPECT_FALSE(WriteProfileString(dir / "sub.ini", "S", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub.ini"));
}

TEST(ProfileWrite, FollowsSymbolicLink) {
  TestDir dir;
  WriteFile(dir / "real.ini", "[S]\r\nk=1\r\n");
  std::filesystem::create_symlink("real.ini", dir / "link.ini");
  ASSERT_TRUE(WriteProfileString(dir / "link.ini", "S", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(dir / "real.ini"), "[S]\r\nk=2\r\n");

  // A chain: l3 -> (absolute) l2 -> sub/l1 -> ../real.ini. The file at its
  // end is replaced, every link stays a link.
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink("../real.ini", dir / "sub" / "l1.ini");
  std::filesystem::create_symlink("sub/l1.ini", dir / "l2.ini");
  std::filesystem::create_symlink(dir / "l2.ini", dir / "l3.ini");
  ASSERT_TRUE(WriteProfileString(dir / "l3.ini", "S", "k", "3"));
  for (const char* link : {"sub/l1.ini", "l2.ini", "l3.ini"})
    EXPECT_TRUE(std::filesystem::is_symlink(dir / link)) << link;
  EXPECT_EQ(ReadFile(dir / "real.ini"), "[S]\r\nk=3\r\n");
  EXPECT_EQ(CountEntries(dir / "sub"), 1);

  // A chain to a file not yet there creates it; a loop is refused.
  std::filesystem::create_symlink("new.ini", dir / "to-new.ini");
  ASSERT_TRUE(WriteProfileString(dir / "to-new.ini", "S", "k", "4"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "to-new.ini"));
  EXPECT_EQ(ReadFile(dir / "new.ini"), "[S]\r\nk=4\r\n");
  std::filesystem::create_symlink("loop-b.ini", dir / "loop-a.ini");
  std::filesystem::create_symlink("loop-a.ini", dir / "loop-b.ini");
  EXPECT_FALSE(WriteFileAtomically(dir / "loop-a.ini", "x"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop-a.ini"));
}

// A program asked to stop replaces no file with half its work, and a
// last-resort release removes the temporary file of a save under way.
TEST(AtomicFileTest, AbandonKeepsTheOldFileAndReleaseRemovesTemporaries) {
  TestDir dir;
  const auto file = dir / "a.txt";
  WriteFile(file, "old");
  {
    AtomicFile open;
    ASSERT_TRUE(open.Open(file));
    ASSERT_TRUE(open.Write("new"));
    RequestAbandon();
    EXPECT_FALSE(open.Commit());
    AtomicFile late;
    EXPECT_FALSE(late.Open(file));
    ClearAbandon();
  }
  EXPECT_EQ(ReadFile(file), "old");
  EXPECT_EQ(CountEntries(dir.path()), 1);

  AtomicFile pending;
  ASSERT_TRUE(pending.Open(file));
  EXPECT_EQ(CountEntries(dir.path()), 2);
  ReleaseForExit();
  EXPECT_EQ(CountEntries(dir.path()), 1);
  EXPECT_EQ(ReadFile(file), "old");
}

TEST(ProfileNumbers, LeadingNumber) {
  EXPECT_EQ(LeadingNumber("  -132 dB"), -132);
  EXPECT_EQ(LeadingNumber("+7"), 7);
  EXPECT_EQ(LeadingNumber("0x10"), 0);
  EXPECT_EQ(LeadingNumber("99999999999"), 2147483647);
  EXPECT_EQ(LeadingNumber("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(LeadingNumber("Not Found"), std::nullopt);
  EXPECT_EQ(LeadingNumber("-"), std::nullopt);
  EXPECT_EQ(LeadingNumber(""), std::nullopt);
}

class ProfileDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"VEXQ4_PROFILE_DIR", "XDG_CONFIG_HOME", "HOME"}) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ProfileDirTest, PrecedenceOfVariables) {
  ::setenv("HOME", "/home/op", 1);
  ::setenv("XDG_CONFIG_HOME", "", 1);
  ::unsetenv("VEXQ4_PROFILE_DIR");
  EXPECT_EQ(ModuleProfilePath(), "/home/op/.config/XVexQ4.ini");
  ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
  EXPECT_EQ(ProfileDirectory(), "/xdg");
  ::setenv("VEXQ4_PROFILE_DIR", "/vexq4", 1);
  EXPECT_EQ(ProfileDirectory(), "/vexq4");
}

TEST_F(ProfileDirTest, ModuleProfileCreatesItsFolder) {
  TestDir dir;
  ::setenv("VEXQ4_PROFILE_DIR", (dir / "cfg" / "deep").c_str(), 1);
  ASSERT_TRUE(WriteModuleProfileString("Gain", "Visible", "1"));
  EXPECT_EQ(GetModuleProfileInt("GAIN", "visible", 0), 1);
  EXPECT_EQ(GetModuleProfileString("Gain", "Missing", "d"), "d");
  EXPECT_EQ(ReadFile(dir / "cfg" / "deep" / "XVexQ4.ini"), "[Gain]\r\nVisible=1\r\n");
}

TEST_F(ProfileDirTest, BatchSavesOnceWhenTheLastBatchEnds) {
  TestDir dir;
  ::setenv("VEXQ4_PROFILE_DIR", dir.path().c_str(), 1);
  const auto file = dir / "XVexQ4.ini";
  ASSERT_TRUE(WriteModuleProfileString("Gain", "Master Gain Level", "122"));
  struct stat before {};
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  {
    ModuleProfileBatch outer;
    {
      ModuleProfileBatch inner;
      ASSERT_TRUE(WriteModuleProfileString("Gain", "Master Gain Level", "300"));
      ASSERT_TRUE(WriteModuleProfileString("Shutter", "Shutter Speed", "1/250"));
      EXPECT_FALSE(WriteModuleProfileString("Gain", "bad\nkey", "1"));
    }
    // The batch's reads see its writes; the file waits for the last batch.
    EXPECT_EQ(GetModuleProfileInt("gain", "master gain level", 0), 300);
    EXPECT_EQ(GetModuleProfileString("Shutter", "Shutter Speed", ""), "1/250");
    EXPECT_EQ(ReadFile(file), "[Gain]\r\nMaster Gain Level=122\r\n");
  }
  EXPECT_EQ(ReadFile(file),
            "[Gain]\r\nMaster Gain Level=300\r\n[Shutter]\r\nShutter Speed=1/250\r\n");

  // A key that already holds its value leaves the file as it was, in a
  // batch or not.
  struct stat saved {};
  ASSERT_EQ(::stat(file.c_str(), &saved), 0);
  EXPECT_NE(saved.st_ino, before.st_ino);  // replaced once, above
  ASSERT_TRUE(WriteModuleProfileString("Gain", "Master Gain Level", "300"));
  {
    ModuleProfileBatch batch;
    ASSERT_TRUE(WriteModuleProfileString("Shutter", "Shutter Speed", "1/250"));
  }
  struct stat after {};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, saved.st_ino);
}

}  // namespace
}  // namespace vexq4::platform
