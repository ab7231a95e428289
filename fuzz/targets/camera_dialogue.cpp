// The camera's side of the dialogue: a scripted camera answers every line
// of a run of model operations truly, late, with fuzz bytes before or
// instead of its answer, not at all, or is unplugged. Every operation must
// return a documented code within its bounded time and leave the model
// consistent, its online flag matching the port, and no file half-written.
#include <array>
#include <string>

#include "file_formats.h"
#include "model_checks.h"
#include "scripted_camera.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/platform/clock.h"
#include "vexq4/platform/ini_file.h"
#include "work_dir.h"

using namespace vexq4;
namespace fs = std::filesystem;

namespace {

constexpr int kOps = 22;

// How many camera exchanges (each possibly followed by a probe) an
// operation may make, counted generously.
std::uint32_t BoundMs(int op) {
  const std::uint32_t e = reliability::ExchangeBoundMs(600);
  switch (op) {
    case 2:
    case 3:
    case 4:
    case 21:
      return 90 * e;
    case 15:
      return 270 * e;
    case 16:
      return reliability::kShadingReadBoundMs + 2 * e;
    case 17:
      return 4 * e + 5000;
    case 18:
      return reliability::ExchangeBoundMs(10000) + 2 * e;
    default:
      return 10 * e;
  }
}

// A file either absent or whole.
void CheckFiles(const fs::path& dir) {
  VEXQ4_FUZZ_CHECK(reliability::StrayTempFiles(dir).empty(), "temporary file left behind");
  if (fs::exists(dir / "report.txt")) {
    const std::string text = testing::ReadFile(dir / "report.txt");
    VEXQ4_FUZZ_CHECK(text.find("Current Settings") != std::string::npos && text.ends_with("\r\n"),
                     "report file incomplete");
  }
  if (fs::exists(dir / "shading.csv")) {
    const std::string text = testing::ReadFile(dir / "shading.csv");
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2))
      ++lines;
    VEXQ4_FUZZ_CHECK(lines == 3 + 128 && text.ends_with("\r\n"), "shading file incomplete");
  }
}

// Runs operation `op` of the dialogue on the model, taking its arguments
// from the input; the operation's code.
int RunOperation(int op, CVexCamInterface& model, fuzz::FuzzInput& in, const fs::path& dir,
                 int port) {
  const auto& settings = model::Settings();
  switch (op) {
    case 0:
      return model.GetSetting(settings[in.Byte() % settings.size()]);
    case 1: {
      const auto& row = settings[in.Byte() % settings.size()];
      return model.SetSetting(row, static_cast<std::int16_t>(in.Word()));
    }
    case 2:
      return model.ReadAllFromCamera();
    case 3:
      return model.WriteAllToCamera();
    case 4:
      return model.LoadSettings(in.Byte() % 5 - 1);
    case 5:
      return model.StoreSettings(in.Byte() % 5 - 1);
    case 6: {
      std::array<char, VEXQ4_CAMERA_ID_SIZE> id{};
      return model.GetCameraID(id.data());
    }
    case 7: {
      std::array<char, VEXQ4_MODEL_NAME_SIZE> name{};
      return model.GetModelName(name.data());
    }
    case 8:
      return model.GetUserID();
    case 9:
      return model.SetUserID(in.Until(0).substr(0, 24));
    case 10:
      return model.GetFirmwareVersion();
    case 11:
      return model.GetEEPROMCurrentAreaNo();
    case 12:
      return model.SetOnePushMode();
    case 13:
      return model.GetOnePushResult();
    case 14:
      return model.SetWhiteBalanceIndex(in.Byte() % 6);
    case 15:
      return model.WriteCameraDataToFile((dir / "report.txt").string());
    case 16:
      return model.SaveShadingDataIntoFile((dir / "shading.csv").string());
    case 17:
      return model.LoadShadingDataFromFile((dir / "valid.csv").string());
    case 18:
      return model.StartAutoShadingCorrection();
    case 19:
      return model.SetComPort(port);
    case 20:
      return model.CloseConnection();
    default:
      return (in.Byte() & 1) ? model.WriteAllToFile((dir / "settings.cam").string())
                             : model.ReadAllFromFile((dir / "settings.cam").string());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path dir = fuzz::WorkDir();
  static const bool prepared = [&] {
    std::array<int, model::kShadingValues> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = 4096 + static_cast<int>(i % 300);
    return platform::WriteFileAtomically(dir / "valid.csv", model::FormatShadingFile(table));
  }();
  VEXQ4_FUZZ_CHECK(prepared, "cannot write the shading file to load");
  for (const char* name : {"report.txt", "shading.csv", "settings.cam"}) fs::remove(dir / name);

  fuzz::FuzzInput in({data, size});
  fuzz::ScriptedLink link(true);
  link.Follow(&in);
  CVexCamInterface model;
  const auto port = static_cast<int>(fuzz::kFuzzPort);
  model.SetComPort(port);

  for (int n = 0; n < 32 && !in.empty(); ++n) {
    const int op = in.Byte() % kOps;
    const std::uint32_t start = platform::TickCount();
    const int rc = RunOperation(op, model, in, dir, port);
    const std::string where = "operation " + std::to_string(op) + ": ";
    VEXQ4_FUZZ_CHECK(reliability::IsDocumentedCode(rc),
                     where + "undocumented code " + std::to_string(rc));
    VEXQ4_FUZZ_CHECK(fuzz::ElapsedSince(start) <= BoundMs(op),
                     where + "took longer than its bound");
    const std::string problem = reliability::CheckModel(model);
    VEXQ4_FUZZ_CHECK(problem.empty(), where + problem);
    VEXQ4_FUZZ_CHECK(model.IsOnline() == (link.isOpen() ? 1 : 0),
                     where + "online flag does not match the port");
    // Close, the settings files, sets (off-line they fail) and the
    // operations whose code is that of their first exchange (white
    // balance, one-push result: the gain reads after it may lose the
    // camera) aside, success means the camera is still there.
    if (rc == 0 && op != 20 && op != 21 && op != 1 && op != 13 && op != 14)
      VEXQ4_FUZZ_CHECK(model.IsOnline() == 1, where + "success while off-line");
    CheckFiles(dir);
  }
  link.Follow(nullptr);
  return 0;
}
