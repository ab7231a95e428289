#include "vexq4/gvcp/control_channel.h"

#include <algorithm>

#include "vexq4/gvcp/bootstrap.h"

namespace vexq4::gvcp {
namespace {

constexpr std::size_t kRememberedClients = 32;
constexpr std::uint32_t kPendingAckEnable = 0x2;  // GVCP configuration register
constexpr std::uint32_t kCcpExclusive = 0x1;
constexpr std::uint32_t kCcpControl = 0x2;
constexpr std::uint32_t kMinHeartbeatMs = 500;
constexpr std::uint32_t kMaxHeartbeatMs = 600000;

std::vector<std::uint8_t> U32s(const std::vector<std::uint32_t>& values) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t v : values) PutU32(out, v);
  return out;
}

std::vector<std::uint8_t> IndexPayload(std::size_t index) {
  std::vector<std::uint8_t> out;
  PutU16(out, 0);
  PutU16(out, static_cast<std::uint16_t>(index));
  return out;
}

}  // namespace

void Run(Device& device, Job& job) {
  job.status = kSuccess;
  job.payload.clear();
  switch (job.command) {
    case kReadRegCmd:
      for (std::uint32_t address : job.addresses) {
        std::uint8_t word[4] = {};
        job.status = device.Read(address, word);
        if (job.status != kSuccess) break;
        job.payload.insert(job.payload.end(), word, word + 4);
      }
      break;
    case kWriteRegCmd: {
      std::size_t done = 0;
      for (; done < job.addresses.size(); ++done) {
        std::vector<std::uint8_t> word;
        PutU32(word, job.values[done]);
        job.status = device.Write(job.addresses[done], word);
        if (job.status != kSuccess) break;
      }
      job.payload = IndexPayload(done);
      break;
    }
    case kReadMemCmd: {
      std::vector<std::uint8_t> data(job.count);
      job.status = device.Read(job.address, data);
      PutU32(job.payload, job.address);
      if (job.status == kSuccess) job.payload.insert(job.payload.end(), data.begin(), data.end());
      break;
    }
    case kWriteMemCmd: {
      if (job.userName) {
        std::string name;
        for (std::uint8_t b : job.data) {
          if (b == 0) break;
          name += static_cast<char>(b);
        }
        job.status = device.WriteUserName(name);
      } else {
        job.status = device.Write(job.address, job.data);
      }
      job.payload = IndexPayload(job.status == kSuccess ? job.data.size() : 0);
      break;
    }
    default:
      job.status = kNotImplemented;
  }
}

ControlChannel::ControlChannel(Device& device, ChannelOptions options)
    : device_(device),
      options_(options),
      heartbeatMs_(options.defaultHeartbeatMs),
      gvcpConfig_(kPendingAckEnable) {}

ControlChannel::Answered* ControlChannel::Remember(const Endpoint& client, const Request& r) {
  auto it = std::find_if(answered_.begin(), answered_.end(),
                         [&](const Answered& a) { return a.client == client; });
  if (it == answered_.end()) {
    if (answered_.size() >= kRememberedClients) {
      // Forget the oldest client that has nothing running.
      auto idle = std::find_if(answered_.begin(), answered_.end(),
                               [](const Answered& a) { return !a.running; });
      if (idle == answered_.end()) return nullptr;
      answered_.erase(idle);
    }
    answered_.push_back({client, r.id, r.command, false, {}});
    return &answered_.back();
  }
  it->id = r.id;
  it->command = r.command;
  it->running = false;
  it->ack.clear();
  return &*it;
}

ControlChannel::Outcome ControlChannel::Receive(const Endpoint& from,
                                                std::span<const std::uint8_t> datagram,
                                                Clock::time_point now) {
  now_ = now;
  const std::optional<Request> request = ParseRequest(datagram);
  if (!request) return {};
  const Request& r = *request;
  if (r.command & 1u) return {};  // an acknowledge, not ours to answer
  if (r.command == kDiscoveryCmd) return {Discovery(r), std::nullopt};
  if (Holds(from)) lastHeard_ = now;

  // A retry of the last request: answered again, not run again.
  for (Answered& a : answered_) {
    if (a.client != from || a.id != r.id || a.command != r.command) continue;
    if (a.running)
      return {(gvcpConfig_ & kPendingAckEnable) && r.ackRequired() ? MakePendingAck(r.id, 1000)
                                                                   : std::vector<std::uint8_t>{},
              std::nullopt};
    return {r.ackRequired() ? a.ack : std::vector<std::uint8_t>{}, std::nullopt};
  }

  Outcome out = Execute(from, r, now);
  if (Answered* a = Remember(from, r)) {
    a->running = out.job.has_value();
    a->ack = out.reply;
  } else if (out.job) {
    out = {MakeAck(kBusy, r.answer(), r.id), std::nullopt};
  }
  if (!r.ackRequired()) out.reply.clear();
  return out;
}

ControlChannel::Outcome ControlChannel::Execute(const Endpoint& from, const Request& r,
                                                Clock::time_point) {
  const auto fail = [&r](std::uint16_t status) -> Outcome {
    return {MakeAck(status, r.answer(), r.id), std::nullopt};
  };
  if (r.length > r.payload.size()) return fail(kInvalidHeader);
  switch (r.command) {
    case kReadRegCmd:
      return ReadRegisters(from, r);
    case kWriteRegCmd:
      return WriteRegisters(from, r);
    case kReadMemCmd:
      return ReadMemory(from, r);
    case kWriteMemCmd:
      return WriteMemory(from, r);
    default:
      return fail(kNotImplemented);
  }
}

std::vector<std::uint8_t> ControlChannel::Discovery(const Request& r) const {
  return MakeAck(kSuccess, kDiscoveryAck, r.id, DiscoveryData());
}

ControlChannel::Outcome ControlChannel::Queue(Job job) {
  if (running_ >= options_.maxQueuedJobs)
    return {MakeAck(kBusy, static_cast<std::uint16_t>(job.command + 1), job.id), std::nullopt};
  ++running_;
  if (job.ackRequired)
    pending_.push_back({job.client, job.id,
                        now_ + std::chrono::milliseconds(options_.pendingTimeoutMs),
                        now_ + job.duration});
  return {{}, std::move(job)};
}

ControlChannel::Outcome ControlChannel::ReadRegisters(const Endpoint& from, const Request& r) {
  const auto fail = [&r](std::uint16_t status,
                         const std::vector<std::uint32_t>& done = {}) -> Outcome {
    return {MakeAck(status, r.answer(), r.id, U32s(done)), std::nullopt};
  };
  if (r.length == 0 || r.length % 4 != 0 || r.length > kMaxPayload) return fail(kInvalidParameter);
  if (!MayRead(from)) return fail(kAccessDenied);
  std::vector<std::uint32_t> addresses;
  for (std::size_t at = 0; at < r.length; at += 4) addresses.push_back(GetU32(r.payload, at));
  const bool anyBootstrap = std::any_of(addresses.begin(), addresses.end(),
                                        [this](std::uint32_t a) { return IsBootstrap(a); });
  const bool allImmediate =
      std::all_of(addresses.begin(), addresses.end(),
                  [this](std::uint32_t a) { return IsBootstrap(a) || device_.IsImmediate(a, 4); });
  if (allImmediate) {
    std::vector<std::uint32_t> values;
    for (std::uint32_t a : addresses) {
      if (a % 4 != 0) return fail(kBadAlignment, values);
      if (IsBootstrap(a)) {
        const auto v = ReadBootstrap(a);
        if (!v) return fail(kInvalidAddress, values);
        values.push_back(*v);
      } else {
        std::uint8_t word[4] = {};
        if (const std::uint16_t s = device_.Read(a, word); s != kSuccess) return fail(s, values);
        values.push_back(GetU32(word, 0));
      }
    }
    return {MakeAck(kSuccess, r.answer(), r.id, U32s(values)), std::nullopt};
  }
  // The device's own registers go to its thread; a list that mixes them
  // with bootstrap registers is not taken.
  if (anyBootstrap) return fail(kInvalidParameter);
  Job job{.client = from,
          .id = r.id,
          .command = r.command,
          .ackRequired = r.ackRequired(),
          .addresses = addresses};
  for (std::uint32_t a : addresses) {
    if (a % 4 != 0) return fail(kBadAlignment);
    job.duration += device_.Duration(a, false);
  }
  return Queue(std::move(job));
}

ControlChannel::Outcome ControlChannel::WriteRegisters(const Endpoint& from, const Request& r) {
  const auto fail = [&r](std::uint16_t status, std::size_t done = 0) -> Outcome {
    return {MakeAck(status, r.answer(), r.id, IndexPayload(done)), std::nullopt};
  };
  if (r.length == 0 || r.length % 8 != 0 || r.length > kMaxPayload) return fail(kInvalidParameter);
  std::vector<std::uint32_t> addresses, values;
  for (std::size_t at = 0; at < r.length; at += 8) {
    addresses.push_back(GetU32(r.payload, at));
    values.push_back(GetU32(r.payload, at + 4));
  }
  const bool allBootstrap = std::all_of(addresses.begin(), addresses.end(),
                                        [this](std::uint32_t a) { return IsBootstrap(a); });
  if (allBootstrap) {
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      if (addresses[i] % 4 != 0) return fail(kBadAlignment, i);
      if (const std::uint16_t s = WriteBootstrap(from, addresses[i], values[i], now_);
          s != kSuccess)
        return fail(s, i);
    }
    return fail(kSuccess, addresses.size());
  }
  if (!MayWrite(from)) return fail(kAccessDenied);
  if (std::any_of(addresses.begin(), addresses.end(),
                  [this](std::uint32_t a) { return IsBootstrap(a); }))
    return fail(kInvalidParameter);
  Job job{.client = from,
          .id = r.id,
          .command = r.command,
          .ackRequired = r.ackRequired(),
          .addresses = addresses,
          .values = values};
  for (std::uint32_t a : addresses) {
    if (a % 4 != 0) return fail(kBadAlignment);
    job.duration += device_.Duration(a, true);
  }
  return Queue(std::move(job));
}

ControlChannel::Outcome ControlChannel::ReadMemory(const Endpoint& from, const Request& r) {
  std::vector<std::uint8_t> head;
  const auto fail = [&](std::uint16_t status) -> Outcome {
    return {MakeAck(status, r.answer(), r.id, head), std::nullopt};
  };
  if (r.length != 8) return fail(kInvalidParameter);
  const std::uint32_t address = GetU32(r.payload, 0);
  const std::uint16_t count = GetU16(r.payload, 6);
  PutU32(head, address);
  if (!MayRead(from)) return fail(kAccessDenied);
  if (address % 4 != 0 || count % 4 != 0) return fail(kBadAlignment);
  if (count == 0 || count > kMaxReadMem) return fail(kInvalidParameter);
  if (IsBootstrap(address)) {
    if (std::uint64_t{address} + count > BootstrapSize()) return fail(kInvalidAddress);
    const std::vector<std::uint8_t> image = BootstrapImage(device_.Info(), State());
    head.insert(head.end(), image.begin() + address, image.begin() + address + count);
    return {MakeAck(kSuccess, r.answer(), r.id, head), std::nullopt};
  }
  if (device_.IsImmediate(address, count)) {
    std::vector<std::uint8_t> data(count);
    if (const std::uint16_t s = device_.Read(address, data); s != kSuccess) return fail(s);
    head.insert(head.end(), data.begin(), data.end());
    return {MakeAck(kSuccess, r.answer(), r.id, head), std::nullopt};
  }
  return Queue({.client = from,
                .id = r.id,
                .command = r.command,
                .ackRequired = r.ackRequired(),
                .address = address,
                .count = count,
                .duration = device_.Duration(address, false)});
}

ControlChannel::Outcome ControlChannel::WriteMemory(const Endpoint& from, const Request& r) {
  const auto fail = [&r](std::uint16_t status) -> Outcome {
    return {MakeAck(status, r.answer(), r.id, IndexPayload(0)), std::nullopt};
  };
  if (r.length < 8 || r.length > kMaxPayload) return fail(kInvalidParameter);
  const std::uint32_t address = GetU32(r.payload, 0);
  const std::span<const std::uint8_t> data = r.payload.subspan(4, r.length - 4);
  if (address % 4 != 0 || data.size() % 4 != 0) return fail(kBadAlignment);
  if (!MayWrite(from)) return fail(kAccessDenied);
  Job job{.client = from,
          .id = r.id,
          .command = r.command,
          .ackRequired = r.ackRequired(),
          .address = address,
          .count = static_cast<std::uint32_t>(data.size()),
          .data = {data.begin(), data.end()}};
  if (IsBootstrap(address)) {
    // Only the user-defined name is written by memory, whole or from its start.
    if (address != kUserNameAddress || data.size() > kUserNameSize) return fail(kWriteProtect);
    job.userName = true;
    job.duration = std::chrono::milliseconds(2500);
    return Queue(std::move(job));
  }
  job.duration = device_.Duration(address, true);
  return Queue(std::move(job));
}

std::vector<std::uint8_t> ControlChannel::Finished(const Job& job, Clock::time_point) {
  if (running_ > 0) --running_;
  std::erase_if(pending_,
                [&](const Pending& p) { return p.client == job.client && p.id == job.id; });
  std::vector<std::uint8_t> ack =
      MakeAck(job.status, static_cast<std::uint16_t>(job.command + 1), job.id, job.payload);
  for (Answered& a : answered_)
    if (a.client == job.client && a.id == job.id && a.command == job.command) {
      a.running = false;
      a.ack = ack;
    }
  return job.ackRequired ? ack : std::vector<std::uint8_t>{};
}

std::vector<std::pair<Endpoint, std::vector<std::uint8_t>>> ControlChannel::Tick(
    Clock::time_point now) {
  // An application waiting for our answer cannot send its heartbeat
  // (clients send one request at a time): the wait counts as one.
  if (holder_ && std::any_of(pending_.begin(), pending_.end(),
                             [this](const Pending& p) { return p.client == *holder_; }))
    lastHeard_ = now;
  if (holder_ && now - lastHeard_ > std::chrono::milliseconds(heartbeatMs_)) Release();
  std::vector<std::pair<Endpoint, std::vector<std::uint8_t>>> out;
  for (Pending& p : pending_) {
    if (p.due > now) continue;
    if (p.expectedEnd < now + std::chrono::milliseconds(500))
      p.expectedEnd = now + std::chrono::milliseconds(1000);  // longer than expected: a second more
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(p.expectedEnd - now);
    const auto announced =
        std::min<std::chrono::milliseconds>(left, std::chrono::milliseconds(60000));
    if (gvcpConfig_ & kPendingAckEnable)
      out.emplace_back(p.client,
                       MakePendingAck(p.id, static_cast<std::uint32_t>(announced.count())));
    p.due = now + announced * 3 / 4;
  }
  return out;
}

Clock::time_point ControlChannel::NextDeadline(Clock::time_point now) const {
  Clock::time_point next = now + std::chrono::seconds(1);
  if (holder_) next = std::min(next, lastHeard_ + std::chrono::milliseconds(heartbeatMs_ + 1));
  for (const Pending& p : pending_) next = std::min(next, p.due);
  return next;
}

BootstrapState ControlChannel::State() const {
  return {.ip = options_.ip,
          .netmask = options_.netmask,
          .heartbeatMs = heartbeatMs_,
          .gvcpConfig = gvcpConfig_,
          .pendingTimeoutMs = options_.pendingTimeoutMs,
          .ccp = ccp_,
          .url = device_.XmlUrl()};
}

void ControlChannel::Release() {
  holder_.reset();
  ccp_ = 0;
  heartbeatMs_ = options_.defaultHeartbeatMs;
  gvcpConfig_ = kPendingAckEnable;
}

std::optional<std::uint32_t> ControlChannel::ReadBootstrap(std::uint32_t address) const {
  if (!IsReadableBootstrap(address)) return std::nullopt;
  const std::vector<std::uint8_t> image = BootstrapImage(device_.Info(), State());
  return GetU32(image, address);
}

std::uint16_t ControlChannel::WriteBootstrap(const Endpoint& from, std::uint32_t address,
                                             std::uint32_t value, Clock::time_point now) {
  if (address == kCcpAddress) {
    if (holder_ && !Holds(from)) return kAccessDenied;  // no switchover
    if ((value & (kCcpControl | kCcpExclusive)) == 0) {
      if (Holds(from)) Release();
      return kSuccess;
    }
    holder_ = from;
    ccp_ = value & (kCcpControl | kCcpExclusive);
    lastHeard_ = now;
    return kSuccess;
  }
  if (!IsReadableBootstrap(address)) return kInvalidAddress;
  if (!MayWrite(from)) return kAccessDenied;
  switch (address) {
    case kHeartbeatAddress:
      if (value < kMinHeartbeatMs || value > kMaxHeartbeatMs) return kInvalidParameter;
      heartbeatMs_ = value;
      return kSuccess;
    case kGvcpConfigAddress:
      gvcpConfig_ = value & kPendingAckEnable;  // heartbeat disable is not offered
      return kSuccess;
    default:
      return kWriteProtect;
  }
}

std::vector<std::uint8_t> ControlChannel::DiscoveryData() const {
  std::vector<std::uint8_t> image = BootstrapImage(device_.Info(), State());
  image.resize(kDiscoveryDataSize);
  return image;
}

}  // namespace vexq4::gvcp
