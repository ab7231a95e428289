// The fastest an exchange can go: the lines a camera received (its log),
// replayed on a copy of the camera to learn each answer's length, laid on
// a timeline of the camera's own time and the library's fixed waits.
#pragma once

#include <cstddef>
#include <vector>

#include "vexq4/sim/sim_camera.h"

namespace vexq4::bench {

inline constexpr double kDrainMs = 101;  // one empty read of the COM time-outs
inline constexpr double kCommandGapMs = 600;
inline constexpr double kFramePauseMs = 1000;
inline constexpr double kByteMs = 10.0 * 1000 / 9600;  // 10 bits at 9600 baud

struct Minimum {
  // With the library's drains (`queryDrainMs` before a query of a setting
  // or identity, the standard one before the rest), the host's bytes there
  // at once as on a pseudo-terminal.
  double protocolMs = 0;
  // The same without any drain: the camera's latency, its answers at 9600
  // baud and the 600 ms it needs after an acknowledged command.
  double lineMs = 0;
  // The line's own limit: that, and the host's bytes at 9600 baud too.
  double limitMs = 0;
};

// The minimum of `lines` (as the camera logged them), replayed on
// `replica`, the camera as it was before them; `exchanges` counts them.
Minimum MinimumOf(sim::SimCamera replica, const std::vector<sim::ReceivedLine>& lines,
                  double queryDrainMs, std::size_t* exchanges);

}  // namespace vexq4::bench
