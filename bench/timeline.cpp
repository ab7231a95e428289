#include "timeline.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "vexq4/sim/sim_camera.h"

namespace vexq4::bench {
namespace {

constexpr std::size_t kShadingFrameBytes = 1546;

// One exchange after another with the given drains: the library's fixed
// waits and the camera's own time.
struct Timeline {
  double queryDrainMs;  // the drain before a query of a setting or identity
  double otherDrainMs;  // before a command or the shading query
  bool countSent;       // the host's bytes take their time on the line
  double t = 0;
  double lastAck = -1e9;  // the bench leaves more than the gap before each operation

  void Add(bool query, bool settingQuery, bool framePause, double latency, std::size_t sentBytes,
           std::size_t answerBytes, bool acknowledged) {
    t += settingQuery ? queryDrainMs : otherDrainMs;
    if (!query) t = std::max(t, lastAck + kCommandGapMs);
    if (countSent) t += static_cast<double>(sentBytes) * kByteMs;
    const double answered = t + latency + static_cast<double>(answerBytes) * kByteMs;
    t = framePause ? std::max(t + kFramePauseMs, answered) : answered;
    // Only an acknowledged command starts a new gap (the empty line before
    // a shading upload is answered "ERROR").
    if (!query && acknowledged) lastAck = t;
  }
};

}  // namespace

Minimum MinimumOf(sim::SimCamera replica, const std::vector<sim::ReceivedLine>& lines,
                  double queryDrainMs, std::size_t* exchanges) {
  const sim::Config& config = replica.config();
  Timeline protocol{queryDrainMs, kDrainMs, false};
  Timeline line{0, 0, false};
  Timeline limit{0, 0, true};
  std::uint32_t fakeMs = 1000;
  *exchanges = 0;
  for (const sim::ReceivedLine& received : lines) {
    ++*exchanges;
    const std::string& text = received.text;
    const bool frame = text.starts_with("<SHD");
    std::string answer;
    const std::string bytes = text + "\r\n";
    if (frame) {
      answer = "COMPLETE\r\n";
    } else {
      replica.Receive(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                      fakeMs);
      fakeMs += 100000;  // far ahead: every queued byte is due
      while (const auto b = replica.PopByte(fakeMs)) answer.push_back(static_cast<char>(*b));
    }
    const bool query = !frame && text.find('?') != std::string::npos;
    const bool shadingQuery = text.starts_with("SHD?");
    const double latency = text.starts_with("ATSH=") ? config.autoShadingMs : config.replyLatencyMs;
    const bool acknowledged = answer.find("COMPLETE") != std::string::npos;
    const std::size_t sent = frame ? kShadingFrameBytes : bytes.size();
    for (Timeline* timeline : {&protocol, &line, &limit}) {
      timeline->Add(query, query && !shadingQuery, shadingQuery || frame, latency, sent,
                    answer.size(), acknowledged);
    }
  }
  return {protocol.t, line.t, limit.t};
}

}  // namespace vexq4::bench
