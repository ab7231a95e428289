// The shading CSV loader, on-line against the simulated camera: any file
// (lines of thousands of characters included) gives 0 with the camera now
// holding the model's table, or -8 with nothing sent.
#include <string>

#include "model_checks.h"
#include "scripted_camera.h"
#include "vexq4/model/VexCamInterface.h"
#include "work_dir.h"

using namespace vexq4;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = fuzz::WorkDir() / "table.csv";
  fuzz::WriteBytes(path, {data, size});

  fuzz::ScriptedLink link(true);
  CVexCamInterface model;
  VEXQ4_FUZZ_CHECK(model.SetComPort(static_cast<int>(fuzz::kFuzzPort)) == 0, "no connection");
  sim::SimCamera& camera = *link.camera();
  camera.ClearLog();

  const int rc = model.LoadShadingDataFromFile(path.string());
  VEXQ4_FUZZ_CHECK(rc == 0 || rc == -8, "load: unexpected code");
  bool frameSent = false;
  for (const auto& line : camera.log()) frameSent |= line.text.starts_with("<SHD");
  if (rc == 0) {
    for (std::size_t i = 0; i < camera.shadingTable().size(); ++i) {
      VEXQ4_FUZZ_CHECK(
          camera.shadingTable()[i] == static_cast<std::uint16_t>(model.ShadingTable()[i]),
          "the camera does not hold the loaded table");
    }
  } else {
    VEXQ4_FUZZ_CHECK(!frameSent, "a file without data lines reached the camera");
  }
  VEXQ4_FUZZ_CHECK(model.IsOnline() == 1 && link.isOpen(), "a file load lost the connection");
  const std::string problem = reliability::CheckModel(model);
  VEXQ4_FUZZ_CHECK(problem.empty(), problem);
  return 0;
}
