// The camera's line protocol: one query or command line out, one or two
// CR LF terminated reply lines back. The callers hold the port's lock.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vexq4::comm {

inline constexpr std::size_t kReplyLineSize = 100;
inline constexpr std::uint32_t kReplyTimeoutMs = 600;
inline constexpr std::uint32_t kAutoShadingTimeoutMs = 10000;
inline constexpr std::uint32_t kCommandGapMs = 600;

// Discards whatever the camera sent that nobody read, as a command does
// (CommandDrainMs).
void DrainInput(int port);

// Reads one reply line (ending in CR LF) into `buffer`, NUL-terminated.
// Lines whose third byte is '?' are the camera echoing a query and are
// skipped, and so is a line equal to `sentLine` (the query just sent, CR LF
// included), whatever the length of its mnemonic. 0 or -6 (also -5 when the
// port has no transport).
int ReadReplyLine(int port, std::span<char> buffer, std::uint32_t timeoutMs,
                  std::string_view sentLine = {});

// The query transaction: sends `queryLine` and copies the reply's value
// text (between the first '=' and the CR after it) NUL-terminated into
// `valueOut`, which stays untouched on failure. A value that does not fit
// gives -4.
int QueryParameter(int port, std::string_view queryLine, std::span<char> valueOut);

// The command transaction: waits out the gap after the last acknowledged
// command, sends `commandLine` and requires "COMPLETE". `code` only selects
// the reply time-out.
int SendCommandLine(int port, unsigned code, std::string_view commandLine);

// Waits until the command gap has passed since the port's last
// acknowledgement.
void WaitCommandGap(int port);

// Marks a command of `port` as acknowledged now.
void NoteAcknowledged(int port);

// Reads the acknowledgement of a command: one line, or two when the first
// is the camera's "XX=value" echo; the line held last must contain
// "COMPLETE". 0, -3, -6.
int ReadAcknowledgement(int port, std::uint32_t timeoutMs);

}  // namespace vexq4::comm
