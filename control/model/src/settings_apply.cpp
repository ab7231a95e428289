// Applying a settings file: only the differences are sent, in the
// write-all's order, and each is read back.
#include <algorithm>

#include "VexQ4Comm.h"
#include "compare_steps.h"
#include "vexq4/model/settings_compare.h"

namespace vexq4::model {
namespace {

// The write-all's order with what it leaves out placed after the white
// balance mode: the auto white area, then the colour temperatures' presets
// (a mode's presets only take effect once the mode is set).
std::vector<unsigned> SendOrder() {
  std::vector<unsigned> order;
  for (unsigned code : WriteAllOrder()) {
    order.push_back(code);
    if (code != WB) continue;
    order.push_back(WA);
    for (int mode = 0; mode < static_cast<int>(kWhiteBalanceList.size()); ++mode)
      for (unsigned gain : GainRegistersOfMode(mode))
        if (std::find(order.begin(), order.end(), gain) == order.end()) order.push_back(gain);
  }
  return order;
}

std::size_t Position(const std::vector<unsigned>& order, unsigned code) {
  return static_cast<std::size_t>(std::find(order.begin(), order.end(), code) - order.begin());
}

void AddOnce(std::vector<const SettingRow*>& rows, const SettingRow* row) {
  if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
}

// Announces the apply's next exchange; false once a stop is asked for.
struct Steps {
  CVexCamInterface& model;
  int step = 0;
  int total = 0;
  bool Next() { return model.ReportProgress(kApplyOperation, step++, total); }
};

const Target* TargetOf(std::span<const Target> targets, const SettingRow* row) {
  auto it =
      std::find_if(targets.begin(), targets.end(), [row](const Target& t) { return t.row == row; });
  return it == targets.end() ? nullptr : &*it;
}

// Sends the plan's commands; those the camera acknowledged go to `sent`.
// False when stopped or when the camera went off-line (then `result` says so).
bool Send(Steps& steps, const ApplyPlan& plan, std::vector<Difference>& sent, ApplyResult& result,
          const std::function<void(const Difference&)>& acknowledged) {
  for (const Difference& d : plan.sends) {
    if (!steps.Next()) {
      result.stopped = true;
      result.status = LibraryStatus(CVexCamInterface::kStopped);
      return false;
    }
    const int code = steps.model.SetSetting(*d.row, d.target);
    if (code == VEXQ4_OK) {
      sent.push_back(d);
      if (acknowledged) acknowledged(d);
    } else if (steps.model.IsOnline() == 0) {
      result.status = LibraryStatus(code);
      return false;
    }
  }
  return true;
}

// Reads back what the plan names and sorts each setting into the changes
// (acknowledged and held) or the failures (not held).
void ReadBack(Steps& steps, const ApplyPlan& plan, std::span<const Target> targets,
              const std::vector<Difference>& sent, ApplyResult& result) {
  for (const SettingRow* row : plan.readBack) {
    if (!steps.Next()) {
      result.stopped = true;
      result.status = LibraryStatus(CVexCamInterface::kStopped);
      return;
    }
    const Target* target = TargetOf(targets, row);
    const int code = steps.model.GetSetting(*row);
    if (code != VEXQ4_OK && steps.model.IsOnline() == 0) result.status = LibraryStatus(code);
    if (target == nullptr) continue;
    const int now = steps.model.Value(*row);
    auto was =
        std::find_if(sent.begin(), sent.end(), [row](const Difference& d) { return d.row == row; });
    if (code == VEXQ4_OK && now == target->value) {
      if (was != sent.end()) result.changes.push_back(*was);
    } else {
      result.failed.push_back({row, now, target->value});
    }
  }
}

}  // namespace

ApplyPlan PlanApply(std::span<const Difference> differences) {
  const std::vector<unsigned> order = SendOrder();
  ApplyPlan plan;
  plan.sends.assign(differences.begin(), differences.end());
  std::stable_sort(plan.sends.begin(), plan.sends.end(),
                   [&](const Difference& a, const Difference& b) {
                     return Position(order, a.row->code) < Position(order, b.row->code);
                   });
  for (const Difference& d : plan.sends) AddOnce(plan.readBack, d.row);
  for (const Difference& d : plan.sends)
    if (d.row->code == WB)
      for (unsigned gain : GainRegistersOfMode(d.target))
        AddOnce(plan.readBack, FindSettingByCode(gain));
  return plan;
}

ApplyResult ApplyTargets(CVexCamInterface& model, std::span<const Target> targets,
                         const std::function<void(const Difference&)>& acknowledged) {
  ApplyResult result;
  Steps steps{model, 0, static_cast<int>(targets.size())};
  // The read is the compare's, counted as the apply's first steps.
  const Comparison read = ReadTargets(model, targets, kApplyOperation, 0, steps.total);
  result.status = read.status;
  result.stopped = read.stopped;
  if (read.status != Status::kOk) return result;
  result.differed = !read.differences.empty();
  const ApplyPlan plan = PlanApply(read.differences);
  steps.step = static_cast<int>(targets.size());
  steps.total = steps.step + static_cast<int>(plan.sends.size() + plan.readBack.size());
  std::vector<Difference> sent;
  if (!Send(steps, plan, sent, result, acknowledged)) return result;
  ReadBack(steps, plan, targets, sent, result);
  if (!result.stopped) model.ReportProgress(kApplyOperation, steps.total, steps.total);
  return result;
}

}  // namespace vexq4::model
