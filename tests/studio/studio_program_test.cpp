// vexq4-studio run as a user and as CI run it: the pictures script against
// the simulated camera, the script mode's standard output next to the
// desktop additions, and the desktop program starting headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "process.h"
#include "test_dir.h"

namespace {

namespace fs = std::filesystem;
using vexq4::cli::test::Process;
using vexq4::cli::test::RunProgram;
using vexq4::testing::TestDir;

const std::string kStudio = VEXQ4_STUDIO_EXE;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Private profile and registry for every run, headless.
std::vector<std::string> Env(const TestDir& dir) {
  return {"QT_QPA_PLATFORM=offscreen", "VEXQ4_PROFILE_DIR=" + dir.path().string(),
          "VEXQ4_REGISTRY_DIR=" + (dir / "registry").string(),
          "XDG_RUNTIME_DIR=" + dir.path().string()};
}

bool NotBlank(const QImage& image) {
  const QRgb first = image.pixel(0, 0);
  int other = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) other += image.pixel(x, y) != first ? 1 : 0;
  return other > image.width() * image.height() / 500;
}

TEST(StudioProgram, ScreenshotScriptWritesOneNonBlankPicturePerWindow) {
  TestDir dir("vexq4-shots");
  auto env = Env(dir);
  env.push_back("BUILD_DIR=" VEXQ4_BUILD_DIR);
  const auto result = RunProgram(
      {"/bin/bash", VEXQ4_SCREENSHOTS_SCRIPT, (dir / "pictures").string()}, "", 60000, env);
  ASSERT_EQ(result.exitStatus, 0) << result.err;

  // One line per picture: PATH WIDTHxHEIGHT "WINDOW".
  const std::regex line(R"re((\S+) (\d+)x(\d+) "([^"]+)")re");
  std::map<std::string, QSize> sizes;
  for (const auto& text : Lines(result.out)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    const QImage image(QString::fromStdString(m[1]));
    ASSERT_FALSE(image.isNull()) << m[1];
    const QSize printed(std::stoi(m[2]), std::stoi(m[3]));
    EXPECT_EQ(image.size(), printed) << m[4];
    EXPECT_TRUE(NotBlank(image)) << m[4];
    EXPECT_EQ(fs::path(m[1].str()).parent_path(), dir / "pictures");
    sizes[m[4]] = printed;
  }
  // The strip, four tool windows, the studio and its compare window.
  ASSERT_EQ(sizes.size(), 7u) << result.out;
  EXPECT_EQ(sizes["strip"], QSize(175, 30));  // the control's own extent
  for (const char* window : {"Shutter and Sync Signals", "Gain and Setup Levels", "Communication",
                             "About", "Compare with Settings File"}) {
    ASSERT_TRUE(sizes.count(window)) << window;
    EXPECT_GE(sizes[window].width(), 100) << window;
    EXPECT_GE(sizes[window].height(), 50) << window;
  }
  EXPECT_TRUE(fs::exists(dir / "pictures" / "gain-and-setup-levels.png"));
  // The pictures' own profile: nothing reached the user's.
  EXPECT_FALSE(fs::exists(dir / "XVexQ4.ini"));
  EXPECT_FALSE(fs::exists(dir / "vexq4-studio.conf"));
}

TEST(StudioProgram, ScreenshotScriptTakesTheScaleAndFontOfALargeScreen) {
  TestDir dir("vexq4-shots");
  auto env = Env(dir);
  env.push_back("BUILD_DIR=" VEXQ4_BUILD_DIR);
  const auto result = RunProgram({"/bin/bash", VEXQ4_SCREENSHOTS_SCRIPT, "--scale", "1.5",
                                  "--font-size", "14", (dir / "large").string()},
                                 "", 60000, env);
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 7u) << result.out;
  // The control's own extent, 175 x 30, at 150 %.
  EXPECT_EQ(lines[0], (dir / "large" / "strip.png").string() + " 263x45 \"strip\"");
  for (const auto& line : lines) {
    const QImage image(QString::fromStdString(line.substr(0, line.find(' '))));
    EXPECT_TRUE(NotBlank(image)) << line;
  }
  // What the script cannot take, it says, and renders nothing.
  for (std::vector<std::string> bad :
       {std::vector<std::string>{"--scale", "big"}, {"--font-size", "500"}, {"--colour"}}) {
    bad.insert(bad.begin(), VEXQ4_SCREENSHOTS_SCRIPT);
    bad.insert(bad.begin(), "/bin/bash");
    bad.push_back((dir / "bad").string());
    const auto refused = RunProgram(bad, "", 30000, env);
    EXPECT_EQ(refused.exitStatus, 2) << bad[2];
    EXPECT_FALSE(refused.err.empty());
    EXPECT_FALSE(fs::exists(dir / "bad" / "strip.png"));
  }
}

// The picture check names each picture that differs, and only those: one
// level in the last pixel, a size, a picture gone, a picture new.
TEST(StudioProgram, PictureDiffNamesEachPictureThatDiffers) {
  TestDir dir("vexq4-picture-diff");
  fs::create_directories(dir / "ref");
  fs::create_directories(dir / "new");
  QImage picture(40, 30, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 6, y * 8, 90));
  const auto save = [&](const QImage& image, const std::string& file) {
    ASSERT_TRUE(image.save(QString::fromStdString((dir / file).string()), "PNG")) << file;
  };
  for (const char* name : {"same.png", "level.png", "size.png", "gone.png"})
    save(picture, std::string("ref/") + name);
  save(picture, "new/same.png");
  QImage changed = picture;
  changed.setPixel(39, 29, qRgb(39 * 6, 29 * 8, 91));
  save(changed, "new/level.png");
  save(picture.copy(0, 0, 40, 29), "new/size.png");
  save(picture, "new/added.png");

  const std::string tool = VEXQ4_BUILD_DIR "/doc/tools/vexq4-picture-diff";
  const auto strict = RunProgram({tool, (dir / "ref").string(), (dir / "new").string()}, "");
  EXPECT_EQ(strict.exitStatus, 1) << strict.err;
  EXPECT_EQ(Lines(strict.out),
            (std::vector<std::string>{
                "added.png: new (not in the reference folder)", "gone.png: no longer made",
                "level.png: 1 pixels differ (by up to 1 levels) in 1x1 at 39,29",
                "size.png: size 40x29, was 40x30"}));
  fs::remove(dir / "ref/gone.png");
  fs::remove(dir / "ref/size.png");
  fs::remove(dir / "new/size.png");
  fs::remove(dir / "new/added.png");
  const auto tolerant =
      RunProgram({tool, "--tolerance", "1", (dir / "ref").string(), (dir / "new").string()}, "");
  EXPECT_EQ(tolerant.exitStatus, 0) << tolerant.out;
  EXPECT_TRUE(tolerant.out.empty()) << tolerant.out;
}

TEST(StudioProgram, ScriptModePrintsOnlyWhatTheScriptAsks) {
  TestDir dir("vexq4-studio");
  const auto result =
      RunProgram({kStudio, "--sim", "--script", "-"},
                 "echo start\nmembers\nerror-display off\necho end\n", 60000, Env(dir));
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const auto lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 2u + 172u) << result.out;
  EXPECT_EQ(lines.front(), "start");
  EXPECT_EQ(lines.back(), "end");
  const std::regex member(R"(-?\d+ (property|method|event) \w+)");
  for (std::size_t i = 1; i + 1 < lines.size(); ++i)
    EXPECT_TRUE(std::regex_match(lines[i], member)) << lines[i];
  // The desktop's settings file is not the script mode's business.
  EXPECT_FALSE(fs::exists(dir / "vexq4-studio.conf"));

  const auto both = RunProgram({kStudio, "--screenshots", (dir / "x").string(), "--script", "-"},
                               "", 30000, Env(dir));
  EXPECT_EQ(both.exitStatus, 2);
  EXPECT_TRUE(both.out.empty());
}

TEST(StudioProgram, DesktopProgramRunsHeadlessAndSaysNothingOnStandardOutput) {
  TestDir dir("vexq4-studio");
  Process studio({kStudio, "--sim"}, Env(dir));
  // Running for a while: the simulated camera, the control, the docks.
  const auto early = studio.Wait(1500);
  EXPECT_TRUE(early.timedOut) << "ended early with " << early.exitStatus << ": " << early.err;
  EXPECT_TRUE(early.out.empty()) << early.out;
}

// On a server or over a plain ssh there is no display: a script still
// runs, and the desktop program says why it cannot start.
TEST(StudioProgram, WithoutADisplayAScriptRunsAndTheDesktopSaysWhy) {
  TestDir dir("vexq4-studio");
  std::vector<std::string> env = Env(dir);
  env[0] = "QT_QPA_PLATFORM=";
  env.push_back("DISPLAY=");
  env.push_back("WAYLAND_DISPLAY=");
  const auto script = RunProgram({kStudio, "--sim", "--script", "-"},
                                 "put ShowGainWnd 1\nget MasterGainLevel\n", 60000, env);
  EXPECT_EQ(script.exitStatus, 0) << script.err;
  EXPECT_EQ(Lines(script.out), (std::vector<std::string>{"ok", "MasterGainLevel=122"}))
      << script.out;

  const auto desktop = RunProgram({kStudio, "--sim"}, "", 30000, env);
  EXPECT_EQ(desktop.exitStatus, 1);
  EXPECT_NE(desktop.err.find("no display"), std::string::npos) << desktop.err;
}

}  // namespace
