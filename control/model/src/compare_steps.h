// The read of a comparison as steps of a longer operation (an apply's
// first steps), for the model's own use.
#pragma once

#include "vexq4/model/settings_compare.h"

namespace vexq4::model {

// Reads each target's register, announcing steps firstStep.. of `total`;
// announces no end.
Comparison ReadTargets(CVexCamInterface& model, std::span<const Target> targets,
                       std::string_view operation, int firstStep, int total);

}  // namespace vexq4::model
