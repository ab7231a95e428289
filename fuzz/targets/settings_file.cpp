// The settings-file reader of the model, off-line: any file gives 0 or -9
// and a consistent model, and what the model then writes reads back as the
// same settings, both into a new file and into the fuzzed file itself.
#include <filesystem>
#include <string>

#include "model_checks.h"
#include "vexq4/model/VexCamInterface.h"
#include "work_dir.h"

using namespace vexq4;
namespace fs = std::filesystem;

namespace {

void SameSettings(const CVexCamInterface& a, const CVexCamInterface& b) {
  for (const auto& row : model::Settings()) {
    VEXQ4_FUZZ_CHECK(a.Value(row) == b.Value(row),
                     std::string(row.property) + " does not read back as written");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path in = fuzz::WorkDir() / "in.cam";
  const fs::path out = fuzz::WorkDir() / "out.cam";
  fuzz::WriteBytes(in, {data, size});
  fs::remove(out);

  CVexCamInterface model;
  const int rc = model.ReadAllFromFile(in.string());
  VEXQ4_FUZZ_CHECK(rc == 0 || rc == -9, "read: undocumented code");
  const std::string problem = reliability::CheckModel(model);
  VEXQ4_FUZZ_CHECK(problem.empty(), problem);

  VEXQ4_FUZZ_CHECK(model.WriteAllToFile(out.string()) == 0, "write to a new file failed");
  // A file that read without complaint is written back valid; otherwise
  // the model may still hold initial values outside the file's ranges (a
  // knee slope of 0), which read back as -9 and leave the field as it is.
  const int expected = rc;
  CVexCamInterface fresh;
  const int reread = fresh.ReadAllFromFile(out.string());
  VEXQ4_FUZZ_CHECK(reread == 0 || (expected != 0 && reread == -9), "a written file is not valid");
  SameSettings(model, fresh);

  VEXQ4_FUZZ_CHECK(model.WriteAllToFile(in.string()) == 0, "write into the file failed");
  CVexCamInterface again;
  const int rewritten = again.ReadAllFromFile(in.string());
  VEXQ4_FUZZ_CHECK(rewritten == reread, "a rewritten file reads unlike a new one");
  SameSettings(model, again);
  VEXQ4_FUZZ_CHECK(reliability::StrayTempFiles(fuzz::WorkDir()).empty(),
                   "temporary file left behind");
  return 0;
}
