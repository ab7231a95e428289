// The Telnet framing of an RFC 2217 line, bytes in and bytes out: what the
// camera's data becomes on the wire, and what the server's stream gives
// back as data, answers and COM port settings.
#include "telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexq4::platform::telnet {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (const int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A codec that has agreed binary both ways and the COM port option, as
// after a good opening.
Codec Agreed() {
  Codec codec;
  codec.Offer();
  Bytes data, reply;
  codec.Receive(B({kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kComPortOption}), data,
                reply);
  return codec;
}

// The server's own offer crossing ours is taken without a second round;
// what we do not do (echo, anything unknown) is refused once, and an
// answer to a request of ours is not answered again.
TEST(Telnet, NegotiationAnswersOnlyWhatChanges) {
  Codec codec;
  codec.Offer();
  Bytes data, reply;
  codec.Receive(B({kIac, kWill, kSuppressGoAhead,
                   kIac, kDo,   kSuppressGoAhead,
                   kIac, kWill, kEcho,
                   kIac, kDont, kEcho,
                   kIac, kDo,   kBinary,
                   kIac, kWill, kBinary,
                   kIac, kDo,   kComPortOption,
                   kIac, kDo,   24}),
                data, reply);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(reply, B({kIac, kDont, kEcho, kIac, kWont, 24}));
  EXPECT_EQ(codec.ours(kComPortOption), OptionState::kYes);
  EXPECT_EQ(codec.ours(kBinary), OptionState::kYes);
  EXPECT_EQ(codec.theirs(kBinary), OptionState::kYes);
  EXPECT_EQ(codec.theirs(kEcho), OptionState::kNo);

  // The same offer again changes nothing and is not answered.
  reply.clear();
  codec.Receive(B({kIac, kDo, kBinary, kIac, kWill, kBinary}), data, reply);
  EXPECT_TRUE(reply.empty());
  // Turning an agreed option off is acknowledged.
  codec.Receive(B({kIac, kWont, kSuppressGoAhead}), data, reply);
  EXPECT_EQ(reply, B({kIac, kDont, kSuppressGoAhead}));
  EXPECT_FALSE(codec.comPortRefused());
}

// Data and Telnet commands interleave anywhere, even split between two
// reads: 0xFF comes back single, negotiation in the middle of data is
// answered and leaves the data whole, a subnegotiation carries its answer.
TEST(Telnet, DataSurvivesCommandsInTheMiddleOfIt) {
  const Bytes stream = B({'S',  'H',  'D',   '=',      kIac, kIac,          0x0F,
                          kIac, kDo,  kEcho, 0xFF - 1, kIac, kSb,           kComPortOption,
                          101,  0,    0,     0x25,     0x80, kIac,          kSe,
                          0x0D, 0x00, 0x0D,  0x0A,     kIac, 241 /* NOP */, 'X'});
  // Every split point, as TCP may cut the stream anywhere.
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    Codec c = Agreed();
    Bytes d, r;
    c.Receive(std::span(stream).first(cut), d, r);
    c.Receive(std::span(stream).subspan(cut), d, r);
    EXPECT_EQ(d, B({'S', 'H', 'D', '=', 0xFF, 0x0F, 0xFE, 0x0D, 0x00, 0x0D, 0x0A, 'X'})) << cut;
    EXPECT_EQ(r, B({kIac, kWont, kEcho})) << cut;
    ASSERT_TRUE(c.answers().baudRate) << cut;
    EXPECT_EQ(*c.answers().baudRate, 9600u);
  }
}

// Without binary from the server, CR NUL is the NVT's bare CR: the NUL is
// framing and never reaches the camera's data. In binary it is data.
TEST(Telnet, NulAfterCrIsFramingOnlyWithoutBinary) {
  Codec plain;
  Bytes data, reply;
  plain.Receive(B({'A', 0x0D, 0x00, 'B', 0x0D, 0x0A, 0x00}), data, reply);
  EXPECT_EQ(data, B({'A', 0x0D, 'B', 0x0D, 0x0A, 0x00}));

  Codec binary = Agreed();
  data.clear();
  binary.Receive(B({'A', 0x0D, 0x00, 'B'}), data, reply);
  EXPECT_EQ(data, B({'A', 0x0D, 0x00, 'B'}));
}

// Sending: 0xFF doubled; CR passes as it is in binary (no NUL added to the
// camera's bytes), and only a server that refused binary gets the NVT's
// CR NUL for a CR not followed by LF.
TEST(Telnet, EncodingDoublesIacAndAddsNoNulInBinary) {
  Codec binary = Agreed();
  Bytes out;
  binary.Encode(B({'S', 0xFF, 0x0D, 0x00, 0x0D, 0x0A, 0xFF}), out);
  EXPECT_EQ(out, B({'S', 0xFF, 0xFF, 0x0D, 0x00, 0x0D, 0x0A, 0xFF, 0xFF}));

  Codec plain;
  plain.Offer();
  Bytes data, reply;
  plain.Receive(B({kIac, kDont, kBinary}), data, reply);
  out.clear();
  plain.Encode(Text("GA=1\r\n"), out);
  plain.Encode(B({0x0D}), out);
  plain.Encode(B({0x0D, 'x'}), out);
  EXPECT_EQ(out, B({'G', 'A', '=', '1', 0x0D, 0x0A, 0x0D, 0x00, 0x0D, 0x00, 'x'}));
}

TEST(Telnet, ComPortAnswersAreCollectedAndOddOnesIgnored) {
  Codec codec = Agreed();
  Bytes data, reply;
  codec.Receive(
      B({kIac, kSb, kComPortOption, 102, 8, kIac, kSe, kIac, kSb, kComPortOption, 103, 1, kIac, kSe,
         kIac, kSb, kComPortOption, 104, 1, kIac, kSe}),
      data, reply);
  // Modem-line answers (DTR state 7) are not flow control; 1 is.
  codec.Receive(B({kIac, kSb, kComPortOption, 105, 7, kIac, kSe}), data, reply);
  EXPECT_FALSE(codec.answers().control);
  codec.Receive(B({kIac, kSb, kComPortOption, 105, 1, kIac, kSe}), data, reply);
  // A purge answer, a notification, a baud rate of the wrong length, a
  // value holding 0xFF (doubled inside the subnegotiation), an overlong
  // signature: only the purge counts.
  codec.Receive(B({kIac, kSb, kComPortOption, 112, 1,    kIac, kSe,
                   kIac, kSb, kComPortOption, 107, 0x30, kIac, kSe,
                   kIac, kSb, kComPortOption, 101, 0,    1,    kIac,
                   kSe}),
                data, reply);
  codec.Receive(B({kIac, kSb, kComPortOption, 101, 0, 0, kIac, kIac, 0x80, kIac, kSe}), data,
                reply);
  Bytes signature = B({kIac, kSb, kComPortOption, 100});
  signature.insert(signature.end(), 200, 'x');
  signature.insert(signature.end(), {kIac, kSe, 'Z'});
  codec.Receive(signature, data, reply);
  const ComPortAnswers& a = codec.answers();
  EXPECT_EQ(a.dataSize, 8);
  EXPECT_EQ(a.parity, 1);
  EXPECT_EQ(a.stopSize, 1);
  EXPECT_EQ(a.control, 1);
  EXPECT_EQ(a.purges, 1u);
  EXPECT_EQ(a.baudRate, 0xFF80u);
  EXPECT_EQ(data, B({'Z'}));
  EXPECT_TRUE(reply.empty());
}

}  // namespace
}  // namespace vexq4::platform::telnet
