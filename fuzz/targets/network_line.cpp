// The reader of a line on a serial device server: whatever a server sends
// (Telnet framing, option negotiation, RFC 2217 answers, or a raw port's
// bytes), in whatever pieces, the opening ends at its deadline with a
// printable reason or with the line at 9600 8N1, and the camera's bytes
// handed out are the server's data in its order, none invented, doubled or
// reordered. The server is the other end of a socket pair, fed by the
// input; the client side is the line the library uses.
//
// Input: a flag byte (bit 0: raw socket:// port; bit 1: the server hangs
// up after its opening bytes), two split points for the framing check, for
// RFC 2217 a two-byte length and the server's opening bytes; then steps:
// 0 the server sends (length byte, bytes), 1 the line reads what has come,
// 2 the line writes (length byte, bytes), 3 the line discards its input (a
// purge), 4 the server closes its side.
#include "network_line.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_input.h"
#include "telnet.h"

using namespace vexq4;
namespace telnet = platform::telnet;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kMaxSteps = 64;
constexpr int kRaw = 1;
constexpr int kCloseAfterOpening = 2;
// Every byte of the opening is there before it starts: it gets 2 ms to
// read them (an opening that is not done by then waits no longer). Anything
// near the bound means it waited for something else.
constexpr std::chrono::milliseconds kOpeningTime{2};
constexpr auto kOpeningBound = std::chrono::seconds(5);

class SocketPair {
 public:
  SocketPair() {
    int fds[2] = {-1, -1};
    VEXQ4_FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0,
                     "no socket pair");
    client_ = fds[0];
    server_ = fds[1];
  }
  ~SocketPair() {
    if (client_ >= 0) ::close(client_);
    ::close(server_);
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  int TakeClient() { return std::exchange(client_, -1); }

  void Send(std::span<const std::uint8_t> bytes) {
    if (closed_ || bytes.empty()) return;
    VEXQ4_FUZZ_CHECK(::send(server_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(bytes.size()),
                     "the server could not send");
    sent_.insert(sent_.end(), bytes.begin(), bytes.end());
  }
  void Close() {
    if (!closed_) ::shutdown(server_, SHUT_WR);
    closed_ = true;
  }
  // Everything the line wrote so far.
  const Bytes& Received() {
    std::uint8_t chunk[4096];
    ssize_t n = 0;
    while ((n = ::recv(server_, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
      received_.insert(received_.end(), chunk, chunk + n);
    return received_;
  }
  const Bytes& sent() const { return sent_; }
  bool closed() const { return closed_; }

 private:
  int client_ = -1;
  int server_ = -1;
  bool closed_ = false;
  Bytes sent_, received_;
};

bool IsSubsequence(const Bytes& part, const Bytes& whole) {
  std::size_t at = 0;
  for (const std::uint8_t b : part) {
    while (at < whole.size() && whole[at] != b) ++at;
    if (at == whole.size()) return false;
    ++at;
  }
  return true;
}

bool SameAnswers(const telnet::ComPortAnswers& a, const telnet::ComPortAnswers& b) {
  return a.baudRate == b.baudRate && a.dataSize == b.dataSize && a.parity == b.parity &&
         a.stopSize == b.stopSize && a.control == b.control && a.purges == b.purges &&
         a.purgeMark == b.purgeMark;
}

bool SameOptions(const telnet::Codec& a, const telnet::Codec& b) {
  for (int option = 0; option < 256; ++option) {
    const auto o = static_cast<std::uint8_t>(option);
    if (a.ours(o) != b.ours(o) || a.theirs(o) != b.theirs(o)) return false;
  }
  return a.comPortRefused() == b.comPortRefused();
}

// The framing is the same whatever pieces the bytes come in. Returns the
// camera's data as one piece gives it.
Bytes CheckPieces(const Bytes& stream, std::size_t cutA, std::size_t cutB) {
  telnet::Codec whole;
  Bytes data, reply;
  whole.Offer();
  whole.Receive(stream, data, reply);

  telnet::Codec pieces;
  Bytes pieceData, pieceReply;
  pieces.Offer();
  const std::size_t a = std::min(cutA, stream.size());
  const std::size_t b = std::min(std::max(a, cutB), stream.size());
  const std::span<const std::uint8_t> all(stream);
  pieces.Receive(all.subspan(0, a), pieceData, pieceReply);
  pieces.Receive(all.subspan(a, b - a), pieceData, pieceReply);
  pieces.Receive(all.subspan(b), pieceData, pieceReply);
  VEXQ4_FUZZ_CHECK(pieceData == data, "telnet: the data depends on how the bytes were split");
  VEXQ4_FUZZ_CHECK(pieceReply == reply, "telnet: the answers depend on how the bytes were split");
  VEXQ4_FUZZ_CHECK(SameAnswers(pieces.answers(), whole.answers()) && SameOptions(pieces, whole),
                   "telnet: the negotiated state depends on how the bytes were split");
  return data;
}

// Counts the option commands (IAC WILL/WONT/DO/DONT x) in a Telnet stream;
// `data` gets the data bytes in it.
int OptionCommands(const Bytes& stream, Bytes* data) {
  int count = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) {
    if (stream[i] != telnet::kIac) {
      data->push_back(stream[i]);
      continue;
    }
    if (++i == stream.size()) break;
    const std::uint8_t verb = stream[i];
    if (verb == telnet::kIac) {
      data->push_back(verb);
    } else if (verb >= telnet::kWill && verb <= telnet::kDont) {
      ++count;
      ++i;
    } else if (verb == telnet::kSb) {
      // Up to IAC and what follows it unless that is IAC again: IAC SE,
      // or (malformed) IAC with another command, ends it, as for the line.
      for (++i; i + 1 < stream.size(); ++i)
        if (stream[i] == telnet::kIac && stream[++i] != telnet::kIac) break;
    }
  }
  return count;
}

bool Printable(const std::string& text) {
  for (const char c : text)
    if (c < ' ' || c > '~') return false;
  return true;
}

void CheckOpening(const platform::detail::NetworkLine& line, const std::string& refused,
                  std::chrono::steady_clock::duration took) {
  VEXQ4_FUZZ_CHECK(took < kOpeningBound, "the opening outlived its deadline");
  if (!refused.empty()) {
    VEXQ4_FUZZ_CHECK(Printable(refused) && refused.size() < 400,
                     "the opening's reason is not one printable line: " + refused);
    return;
  }
  const telnet::ComPortAnswers& a = line.codec().answers();
  VEXQ4_FUZZ_CHECK(line.codec().ours(telnet::kComPortOption) == telnet::OptionState::kYes,
                   "opened without the server's consent to RFC 2217");
  VEXQ4_FUZZ_CHECK(a.baudRate == 9600u && a.dataSize == 8 && a.parity == telnet::kParityNone &&
                       a.stopSize == telnet::kOneStopBit && a.control == telnet::kNoFlowControl,
                   "opened without the server confirming 9600 8N1 without flow control");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in({data, size});
  const std::uint8_t flags = in.Byte();
  const bool raw = (flags & kRaw) != 0;
  const std::size_t cutA = in.Word();
  const std::size_t cutB = in.Word();

  SocketPair pair;
  platform::detail::NetworkLine line(pair.TakeClient(), !raw,
                                     raw ? "socket://server:4001" : "rfc2217://server:4001");
  bool opened = true;
  if (!raw) {
    pair.Send(in.Take(in.Word()));
    if (flags & kCloseAfterOpening) pair.Close();
    const auto start = std::chrono::steady_clock::now();
    const std::string refused = line.Negotiate(start + kOpeningTime, kOpeningTime);
    CheckOpening(line, refused, std::chrono::steady_clock::now() - start);
    opened = refused.empty();
  }

  Bytes got, written;
  const auto readAll = [&] {
    std::uint8_t b = 0;
    // Never more bytes than the server sent: a bound on the loop too.
    while (got.size() <= pair.sent().size() && line.ReadByteWithin(b, 0)) got.push_back(b);
    VEXQ4_FUZZ_CHECK(got.size() <= pair.sent().size(), "the line handed out more than was sent");
  };
  for (int step = 0; opened && step < kMaxSteps && !in.empty(); ++step) {
    switch (in.Byte() % 5) {
      case 0:
        pair.Send(in.Take(in.Byte()));
        break;
      case 1:
        readAll();
        break;
      case 2: {
        const auto bytes = in.Take(in.Byte() % 32);
        if (line.Write(bytes)) written.insert(written.end(), bytes.begin(), bytes.end());
        break;
      }
      case 3:
        line.DiscardInput();
        break;
      default:
        pair.Close();
        break;
    }
  }
  if (!opened) return 0;
  // A read without time takes one look at the socket: a closed one may
  // need a few before its end is seen behind the last bytes.
  readAll();
  for (int look = 0; pair.closed() && !line.Lost() && look < 16; ++look) readAll();
  VEXQ4_FUZZ_CHECK(line.Lost() == pair.closed(), pair.closed()
                                                     ? "a closed connection was not noticed"
                                                     : "an open connection was taken for lost");

  const Bytes& sent = pair.sent();
  const Bytes camera = raw ? sent : CheckPieces(sent, cutA, cutB);
  VEXQ4_FUZZ_CHECK(IsSubsequence(got, camera),
                   "the line handed out bytes the server did not send as data, or reordered");

  // What the line wrote: a raw port gets the bytes as they are; over
  // Telnet, the data (0xFF doubled undone) is what was written when no CR
  // is in it (a CR may gain a NUL), and every option command is the offer
  // or the answer to one of the server's: no negotiation loop.
  Bytes wroteData;
  const int commands = OptionCommands(pair.Received(), &wroteData);
  if (raw) {
    VEXQ4_FUZZ_CHECK(pair.Received() == written, "a raw line changed the bytes written");
    return 0;
  }
  Bytes serverData;
  const int serverCommands = OptionCommands(sent, &serverData);
  VEXQ4_FUZZ_CHECK(commands <= 5 + serverCommands,
                   "the line sent more option commands than it was asked");
  if (std::find(written.begin(), written.end(), '\r') == written.end())
    VEXQ4_FUZZ_CHECK(wroteData == written, "the framing changed the bytes written");
  return 0;
}
