#include "telnet.h"

namespace vexq4::platform::telnet {
namespace {

constexpr std::uint8_t kCr = '\r';
constexpr std::uint8_t kLf = '\n';
constexpr std::uint8_t kNul = 0;

// The options we take on either side; any other is refused.
bool Wanted(std::uint8_t option, bool ourSide) {
  if (option == kBinary || option == kSuppressGoAhead) return true;
  return ourSide && option == kComPortOption;
}

void Send(std::vector<std::uint8_t>& out, std::uint8_t verb, std::uint8_t option) {
  out.insert(out.end(), {kIac, verb, option});
}

}  // namespace

std::vector<std::uint8_t> Codec::Offer() {
  std::vector<std::uint8_t> out;
  for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPortOption}) {
    if (ours_[option] == OptionState::kNo) {
      ours_[option] = OptionState::kWantYes;
      Send(out, kWill, option);
    }
  }
  for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
    if (theirs_[option] == OptionState::kNo) {
      theirs_[option] = OptionState::kWantYes;
      Send(out, kDo, option);
    }
  }
  return out;
}

void Codec::Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply) {
  ++negotiations_;
  const bool ourSide = verb == kDo || verb == kDont;
  OptionState& state = ourSide ? ours_[option] : theirs_[option];
  const bool enable = verb == kDo || verb == kWill;
  if (enable) {
    if (state == OptionState::kYes) return;
    if (state == OptionState::kWantYes) {
      state = OptionState::kYes;  // the answer to our request
    } else if (Wanted(option, ourSide)) {
      state = OptionState::kYes;
      Send(reply, ourSide ? kWill : kDo, option);
    } else {
      Send(reply, ourSide ? kWont : kDont, option);
    }
    return;
  }
  if (state == OptionState::kNo) return;  // already off: nothing to answer
  const bool wasAsked = state == OptionState::kWantYes;
  state = OptionState::kNo;
  if (wasAsked) {
    if (ourSide && option == kComPortOption) comPortRefused_ = true;
  } else {
    Send(reply, ourSide ? kWont : kDont, option);  // acknowledge the change
  }
}

void Codec::Subnegotiation(std::size_t dataSize) {
  if (subOverflow_ || subLength_ < 2 || sub_[0] != kComPortOption) return;
  const std::uint8_t command = sub_[1];
  const std::span<const std::uint8_t> value(sub_.data() + 2, subLength_ - 2);
  if (command < kServerOffset) return;  // a request of the server's: none we serve
  switch (command - kServerOffset) {
    case kSetBaudRate:
      if (value.size() == 4)
        answers_.baudRate = static_cast<std::uint32_t>(value[0]) << 24 |
                            static_cast<std::uint32_t>(value[1]) << 16 |
                            static_cast<std::uint32_t>(value[2]) << 8 | value[3];
      break;
    case kSetDataSize:
      if (value.size() == 1) answers_.dataSize = value[0];
      break;
    case kSetParity:
      if (value.size() == 1) answers_.parity = value[0];
      break;
    case kSetStopSize:
      if (value.size() == 1) answers_.stopSize = value[0];
      break;
    case kSetControl:
      // Only the flow control answers count: the server may report the
      // modem-control lines too, which we never set.
      if (value.size() == 1 && (value[0] <= 3 || (value[0] >= 13 && value[0] <= 19)))
        answers_.control = value[0];
      break;
    case kPurgeData:
      ++answers_.purges;
      answers_.purgeMark = dataSize;
      break;
    default:
      break;  // signature, line and modem state notifications
  }
}

void Codec::Receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                    std::vector<std::uint8_t>& reply) {
  for (const std::uint8_t b : bytes) {
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kIac;
          break;
        }
        // A server that does not send binary follows a bare CR with NUL;
        // the NUL is framing, not the camera's.
        if (afterCr_ && b == kNul) {
          afterCr_ = false;
          break;
        }
        afterCr_ = b == kCr && theirs_[kBinary] != OptionState::kYes;
        data.push_back(b);
        break;
      case State::kIac:
        state_ = State::kData;
        if (b == kIac) {
          afterCr_ = false;
          data.push_back(kIac);  // a doubled 0xFF is one data byte
        } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
          verb_ = b;
          state_ = State::kOption;
        } else if (b == kSb) {
          subLength_ = 0;
          subOverflow_ = false;
          state_ = State::kSub;
        }
        // Any other command (NOP, go-ahead, a stray SE) carries no data.
        break;
      case State::kOption:
        Negotiate(verb_, b, reply);
        state_ = State::kData;
        break;
      case State::kSub:
      case State::kSubIac:
        if (state_ == State::kSub && b == kIac) {
          state_ = State::kSubIac;
          break;
        }
        if (state_ == State::kSubIac && b != kIac) {
          // IAC SE ends it; IAC with anything else is malformed: end it
          // there too rather than swallow the data that follows.
          Subnegotiation(data.size());
          state_ = State::kData;
          break;
        }
        state_ = State::kSub;
        if (subLength_ < kMaxSub) {
          sub_[subLength_++] = b;
        } else {
          subOverflow_ = true;
        }
        break;
    }
  }
}

void Codec::Encode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) const {
  const bool binary = ours_[kBinary] == OptionState::kYes;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::uint8_t b = data[i];
    out.push_back(b);
    if (b == kIac) {
      out.push_back(kIac);
    } else if (b == kCr && !binary && (i + 1 == data.size() || data[i + 1] != kLf)) {
      out.push_back(kNul);
    }
  }
}

std::vector<std::uint8_t> Codec::ComPortRequest(std::uint8_t command,
                                                std::span<const std::uint8_t> value) {
  std::vector<std::uint8_t> out{kIac, kSb, kComPortOption, command};
  for (const std::uint8_t b : value) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
  out.insert(out.end(), {kIac, kSe});
  return out;
}

}  // namespace vexq4::platform::telnet
