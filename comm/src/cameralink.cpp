// The Camera Link side of the library: the run-time loaders of linkport and
// clallserial, the opening and closing steps through them, their byte
// transports, and the VexQ4CL* listing exports.
#include "cameralink.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "VexQ4Comm.h"
#include "library_search.h"
#include "vexq4/platform/clock.h"

namespace vexq4::comm::cameralink {
namespace {

using SerialInitFn = std::int32_t (*)(std::uint32_t, void**);
using SerialReadFn = std::int32_t (*)(void*, char*, std::uint32_t*, std::uint32_t);
using SerialWriteFn = std::int32_t (*)(void*, char*, std::uint32_t*, std::uint32_t);
using SerialCloseFn = void (*)(void*);
using GetNumSerialPortsFn = std::int32_t (*)(std::uint32_t*);
using GetSerialPortIdentifierFn = std::int32_t (*)(std::uint32_t, char*, std::uint32_t*);
using GetSupportedBaudRatesFn = std::int32_t (*)(void*, std::uint32_t*);
using SetBaudRateFn = std::int32_t (*)(void*, std::uint32_t);
using GetErrorTextFn = std::int32_t (*)(std::int32_t, char*, std::uint32_t*);
using GetManufacturerFn = std::int32_t (*)(std::uint32_t, char*, std::uint32_t*, std::uint32_t*);
using GetNumManufacturersFn = std::int32_t (*)(std::uint32_t*);
using SelectManufacturerFn = std::int32_t (*)(const char*);
using FlushPortFn = std::int32_t (*)(void*);
using GetNumBytesAvailFn = std::int32_t (*)(void*, std::uint32_t*);
using GetNumPortsFn = std::int32_t (*)(std::uint32_t*);
using GetPortInfoFn = std::int32_t (*)(std::uint32_t, char*, std::uint32_t*, char*, std::uint32_t*,
                                       std::uint32_t*);

constexpr char kLinkportFile[] = "liblinkport.so";
constexpr char kAllSerialFile[] = "libclallserial.so";
constexpr char kComPorts[] = "COM-ports";
constexpr unsigned kComPortsOffered = 17;
constexpr std::uint32_t kWriteTimeoutMs = 600;
constexpr std::uint32_t kDrainReadTimeoutMs = 600;
// A camera that keeps talking must not hold a drain forever.
constexpr int kMaxDrainPairs = 2048;
constexpr int kMaxDrainBytes = 4096;
// What one read takes of the bytes the library holds: a few reply lines.
constexpr std::size_t kReadAheadBytes = 256;

struct LinkportApi {
  GetManufacturerFn getManufacturer;
  GetNumManufacturersFn getNumManufacturers;
  SelectManufacturerFn selectManufacturer;
  GetNumSerialPortsFn getNumSerialPorts;
  GetSerialPortIdentifierFn getSerialPortIdentifier;
  SerialInitFn serialInit;
  SerialCloseFn serialClose;
  SerialReadFn serialRead;
  SerialWriteFn serialWrite;
  GetSupportedBaudRatesFn getSupportedBaudRates;
  SetBaudRateFn setBaudRate;
  GetErrorTextFn getErrorText;
  // Forwarded by linkport since Camera Link 1.1; null from an older
  // linkport, -10099 from it for a vendor library without them.
  FlushPortFn flushPort;
  GetNumBytesAvailFn getNumBytesAvail;
};

struct AllSerialApi {
  FlushPortFn flushPort;
  GetNumBytesAvailFn getNumBytesAvail;
  GetNumPortsFn getNumPorts;
  GetPortInfoFn getPortInfo;
  SerialInitFn serialInit;
  SerialCloseFn serialClose;
  SerialReadFn serialRead;
  SerialWriteFn serialWrite;
  GetSupportedBaudRatesFn getSupportedBaudRates;
  SetBaudRateFn setBaudRate;
  GetErrorTextFn getErrorText;
};

template <typename Api>
struct Loader {
  void* module;
  int attempts;  // since the last UnloadAll; one is all we make
  Api api;
};
static_assert(std::is_trivially_destructible_v<Loader<LinkportApi>>);

Loader<LinkportApi> g_linkport{};
Loader<AllSerialApi> g_allSerial{};
// The open linkport connection's vendor library flushes and counts its
// input (clGetNumBytesAvail answered when the port opened).
bool g_linkportCounts = false;

template <typename Fn>
bool Resolve(void* module, const char* name, Fn& out) {
  out = reinterpret_cast<Fn>(dlsym(module, name));
  return out != nullptr;
}

bool ResolveAll(void* module, LinkportApi& a) {
  const bool required = Resolve(module, "clGetManufacturer", a.getManufacturer) &&
                        Resolve(module, "clGetNumManufacturers", a.getNumManufacturers) &&
                        Resolve(module, "clSelectManufacturer", a.selectManufacturer) &&
                        Resolve(module, "clGetNumSerialPorts", a.getNumSerialPorts) &&
                        Resolve(module, "clGetSerialPortIdentifier", a.getSerialPortIdentifier) &&
                        Resolve(module, "clSerialInit", a.serialInit) &&
                        Resolve(module, "clSerialClose", a.serialClose) &&
                        Resolve(module, "clSerialRead", a.serialRead) &&
                        Resolve(module, "clSerialWrite", a.serialWrite) &&
                        Resolve(module, "clGetSupportedBaudRates", a.getSupportedBaudRates) &&
                        Resolve(module, "clSetBaudRate", a.setBaudRate) &&
                        Resolve(module, "clGetErrorText", a.getErrorText);
  // Not among the required: an older linkport lacks them.
  Resolve(module, "clFlushPort", a.flushPort);
  Resolve(module, "clGetNumBytesAvail", a.getNumBytesAvail);
  return required;
}

bool ResolveAll(void* module, AllSerialApi& a) {
  return Resolve(module, "clFlushPort", a.flushPort) &&
         Resolve(module, "clGetNumBytesAvail", a.getNumBytesAvail) &&
         Resolve(module, "clGetNumPorts", a.getNumPorts) &&
         Resolve(module, "clGetPortInfo", a.getPortInfo) &&
         Resolve(module, "clSerialInit", a.serialInit) &&
         Resolve(module, "clSerialClose", a.serialClose) &&
         Resolve(module, "clSerialRead", a.serialRead) &&
         Resolve(module, "clSerialWrite", a.serialWrite) &&
         Resolve(module, "clGetSupportedBaudRates", a.getSupportedBaudRates) &&
         Resolve(module, "clSetBaudRate", a.setBaudRate) &&
         Resolve(module, "clGetErrorText", a.getErrorText);
}

template <typename Api>
int Load(Loader<Api>& loader, const char* fileName) {
  if (loader.module) return VEXQ4_OK;
  if (loader.attempts > 0) return VEXQ4_E_CAMERA_LINK;
  ++loader.attempts;
  void* module = OpenLibrary(fileName);
  if (!module) return VEXQ4_E_CAMERA_LINK;
  Api api{};
  if (!ResolveAll(module, api)) {
    dlclose(module);
    return VEXQ4_E_CAMERA_LINK;
  }
  loader.module = module;
  loader.api = api;
  return VEXQ4_OK;
}

template <typename Api>
void Unload(Loader<Api>& loader) {
  if (loader.module) dlclose(loader.module);
  loader = Loader<Api>{};
}

// Copies a library's text into a caller's 255-byte buffer; the library's
// buffer is ours, so a text without NUL is cut rather than overrun.
void CopyName(char* dest, char (&source)[VEXQ4_CL_NAME_SIZE]) {
  source[VEXQ4_CL_NAME_SIZE - 1] = '\0';
  std::memcpy(dest, source, std::strlen(source) + 1);
}

// Camera Link bytes through a serial reference: block writes with the 600 ms
// write time-out, reads with the caller's time-out. Where the library counts
// its input (clGetNumBytesAvail), a read takes every byte that is there in
// one call and hands them out one by one; the bytes read ahead belong to
// the exchange under way and go with the next drain.
class CameraLinkTransport : public ByteTransport {
 public:
  bool WriteBlock(std::span<const std::uint8_t> bytes) override {
    const SerialWriteFn write = WriteFn();
    void* ref = Ref();
    if (!write || !ref || bytes.size() > UINT32_MAX) return false;
    // The standard's write takes a mutable buffer; hand it a copy.
    std::vector<char> copy(bytes.begin(), bytes.end());
    copy.push_back('\0');
    auto length = static_cast<std::uint32_t>(bytes.size());
    NoteWritten(bytes.size());
    return write(ref, copy.data(), &length, kWriteTimeoutMs) == 0;
  }

  // A grabber may return from clSerialWrite once the bytes are in its
  // buffer: a shading frame (1546 bytes) then still needs about 1.6 s at
  // 9600 baud before the camera has it all and can acknowledge it.
  std::uint32_t MsUntilSent() const override {
    const auto left = static_cast<std::int32_t>(lineFreeAt_ - platform::TickCount());
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
  }

  bool ReadByte(std::uint8_t& out, std::uint32_t timeoutMs) override {
    if (next_ == end_ && !TakeAvailable(timeoutMs)) return ReadOne(out, timeoutMs);
    out = ahead_[next_++];
    return true;
  }

  // The time left of the line goes down, so a line never outlasts its
  // time-out. A read that waits as asked needs no pause after it; one that
  // came back early without a byte gets 1 ms, so that a library that
  // returns at once cannot make the reader spin.
  bool ReadReplyByte(std::uint8_t& out, std::uint32_t leftMs,
                     std::uint32_t /*lineTimeoutMs*/) override {
    const std::uint32_t start = platform::TickCount();
    if (ReadByte(out, leftMs)) return true;
    if (static_cast<std::uint32_t>(platform::TickCount() - start) < leftMs) platform::SleepMs(1);
    return false;
  }

  bool WriteSingleByte(std::uint8_t byte) override { return WriteBlock(std::span(&byte, 1)); }

 protected:
  virtual SerialReadFn ReadFn() const = 0;
  virtual SerialWriteFn WriteFn() const = 0;
  virtual void* Ref() const = 0;
  // clFlushPort and clGetNumBytesAvail; false where the library has none
  // (or refuses).
  virtual bool Flush() = 0;
  virtual bool Available(std::uint32_t& count) = 0;

  void DiscardReadAhead() { next_ = end_ = 0; }

  // When the bytes written by now have crossed the line at the camera's
  // 9600 baud (ten bits a byte), counted from when the line was free.
  void NoteWritten(std::size_t count) {
    constexpr std::uint64_t kBitsPerSecond = 9600, kBitsPerByte = 10;
    const std::uint32_t now = platform::TickCount();
    const std::uint32_t from =
        static_cast<std::int32_t>(lineFreeAt_ - now) > 0 ? lineFreeAt_ : now;
    const std::uint64_t ms = (count * kBitsPerByte * 1000 + kBitsPerSecond - 1) / kBitsPerSecond;
    lineFreeAt_ = from + static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, INT32_MAX));
  }

  // One byte straight from the library: false when none came within
  // `timeoutMs` (only the count tells).
  bool ReadOne(std::uint8_t& out, std::uint32_t timeoutMs) {
    const SerialReadFn read = ReadFn();
    void* ref = Ref();
    if (!read || !ref) return false;
    char byte = 0;
    std::uint32_t count = 1;
    read(ref, &byte, &count, timeoutMs);
    if (count == 0) return false;
    out = static_cast<std::uint8_t>(byte);
    return true;
  }

  // Discards what is there and waits until the line has been quiet for
  // `quietMs`: a flush where the library has one, else single reads, each
  // with that time-out. Bounded for a camera that keeps talking.
  void QuietDrain(std::uint32_t quietMs) {
    DiscardReadAhead();
    for (int round = 0; round < kMaxDrainBytes; ++round) {
      Flush();
      std::uint8_t byte = 0;
      if (!ReadOne(byte, quietMs)) return;
    }
  }

 private:
  // Reads what the library holds into the read-ahead buffer; false when it
  // cannot count its input or holds nothing.
  bool TakeAvailable(std::uint32_t timeoutMs) {
    std::uint32_t count = 0;
    const SerialReadFn read = ReadFn();
    if (!read || !Ref() || !Available(count) || count == 0) return false;
    count = std::min<std::uint32_t>(count, kReadAheadBytes);
    read(Ref(), reinterpret_cast<char*>(ahead_.data()), &count, timeoutMs);
    next_ = 0;
    end_ = std::min<std::size_t>(count, kReadAheadBytes);
    return end_ > 0;
  }

  std::array<std::uint8_t, kReadAheadBytes> ahead_{};
  std::size_t next_ = 0;
  std::uint32_t lineFreeAt_ = 0;  // tick count
  std::size_t end_ = 0;
};

class LinkportByteTransport final : public CameraLinkTransport {
 public:
  // The standard drain: the vendor libraries had no flush, so pairs of
  // single-byte reads until a pair repeats its byte or its second read
  // brings nothing. A quiet time (fast reads) drains on that instead, with
  // clFlushPort where the vendor library has it.
  void DrainInput(std::uint32_t quietMs) override {
    if (quietMs != kStandardDrain) return QuietDrain(quietMs);
    DiscardReadAhead();
    for (int pair = 0; pair < kMaxDrainPairs; ++pair) {
      std::uint8_t first = 0;
      std::uint8_t second = 0;
      const bool gotFirst = ReadOne(first, kDrainReadTimeoutMs);
      if (!ReadOne(second, kDrainReadTimeoutMs)) return;
      if (gotFirst && second == first) return;
    }
  }

 private:
  SerialReadFn ReadFn() const override { return g_linkport.api.serialRead; }
  SerialWriteFn WriteFn() const override { return g_linkport.api.serialWrite; }
  void* Ref() const override { return Transport().linkportRef; }
  bool Flush() override {
    return g_linkportCounts && g_linkport.api.flushPort(Transport().linkportRef) == 0;
  }
  bool Available(std::uint32_t& count) override {
    return g_linkportCounts &&
           g_linkport.api.getNumBytesAvail(Transport().linkportRef, &count) == 0;
  }
};

// clallserial drains with its flush, whatever the quiet time.
class AllSerialByteTransport final : public CameraLinkTransport {
 public:
  void DrainInput(std::uint32_t /*quietMs*/) override {
    DiscardReadAhead();
    Flush();
  }

 private:
  SerialReadFn ReadFn() const override { return g_allSerial.api.serialRead; }
  SerialWriteFn WriteFn() const override { return g_allSerial.api.serialWrite; }
  void* Ref() const override { return Transport().allSerialRef; }
  bool Flush() override {
    return g_allSerial.api.flushPort && Transport().allSerialRef &&
           g_allSerial.api.flushPort(Transport().allSerialRef) == 0;
  }
  bool Available(std::uint32_t& count) override {
    return g_allSerial.api.getNumBytesAvail && Transport().allSerialRef &&
           g_allSerial.api.getNumBytesAvail(Transport().allSerialRef, &count) == 0;
  }
};

LinkportByteTransport g_linkportTransport;
AllSerialByteTransport g_allSerialTransport;

// Closes a reference of an earlier connection before a new one replaces it,
// so that no vendor port stays held with nothing left to close it.
void CloseLinkportRef() {
  g_linkportCounts = false;
  void*& ref = Transport().linkportRef;
  if (ref && g_linkport.api.serialClose) g_linkport.api.serialClose(ref);
  ref = nullptr;
}

void CloseAllSerialRef() {
  void*& ref = Transport().allSerialRef;
  if (ref && g_allSerial.api.serialClose) g_allSerial.api.serialClose(ref);
  ref = nullptr;
}

}  // namespace

int LoadLinkport() { return Load(g_linkport, kLinkportFile); }
int LoadAllSerial() { return Load(g_allSerial, kAllSerialFile); }

void UnloadAll() {
  // A reference must not outlive its library: after selecting "COM-ports"
  // the closing step no longer sees the Camera Link connection as open.
  CloseReferences();
  Unload(g_linkport);
  Unload(g_allSerial);
}

int OpenLinkport(int grabberIndex) {
  if (LoadLinkport() != VEXQ4_OK) return VEXQ4_E_CAMERA_LINK;
  CloseLinkportRef();
  const LinkportApi& api = g_linkport.api;
  char name[VEXQ4_CL_NAME_SIZE] = {};
  std::uint32_t size = sizeof name;
  std::uint32_t version = 0;
  // Entry n of our list is linkport's entry n - 1 (ours 0 is "COM-ports").
  const std::uint32_t entry = static_cast<std::uint32_t>(grabberIndex) - 1U;
  if (const int rc = api.getManufacturer(entry, name, &size, &version); rc != 0) return rc;
  name[sizeof name - 1] = '\0';
  if (const int rc = api.selectManufacturer(name); rc != 0) return rc;
  // The camera is always on the grabber's serial index 0.
  if (const int rc = api.serialInit(0, &Transport().linkportRef); rc != 0) return rc;
  // A Camera Link 1.1 library counts its input; an older one (or an older
  // linkport) does not, and its line is drained by reading it.
  std::uint32_t pending = 0;
  g_linkportCounts = api.flushPort && api.getNumBytesAvail &&
                     api.getNumBytesAvail(Transport().linkportRef, &pending) == 0;
  return VEXQ4_OK;
}

int OpenAllSerial(int grabberIndex) {
  if (LoadAllSerial() != VEXQ4_OK) return VEXQ4_E_CAMERA_LINK;
  CloseAllSerialRef();
  return g_allSerial.api.serialInit(static_cast<std::uint32_t>(grabberIndex),
                                    &Transport().allSerialRef);
}

void CloseReferences() {
  CloseLinkportRef();
  CloseAllSerialRef();
}

ByteTransport& LinkportTransport() { return g_linkportTransport; }
ByteTransport& AllSerialTransport() { return g_allSerialTransport; }

}  // namespace vexq4::comm::cameralink

using namespace vexq4::comm;
using namespace vexq4::comm::cameralink;

extern "C" {

int VexQ4CLSerialGetNumManufacturers(unsigned* count) {
  if (!count) return VEXQ4_E_ARGUMENT;
  // "COM-ports" is always there, whatever linkport says.
  *count = 1;
  if (const int rc = LoadLinkport(); rc != VEXQ4_OK) return rc;
  std::uint32_t n = 0;
  if (const int rc = g_linkport.api.getNumManufacturers(&n); rc != 0) return rc;
  if (n < UINT_MAX) *count = n + 1;
  return VEXQ4_OK;
}

int VexQ4CLSerialGetManufacturer(unsigned index, char* name, unsigned* size, unsigned* version) {
  if (!name || !size || !version) return VEXQ4_E_ARGUMENT;
  if (index == 0) {
    std::memcpy(name, kComPorts, sizeof kComPorts);
    *size = sizeof kComPorts - 1;
    *version = 1;
    return VEXQ4_OK;
  }
  if (const int rc = LoadLinkport(); rc != VEXQ4_OK) return rc;
  char buffer[VEXQ4_CL_NAME_SIZE] = {};
  std::uint32_t bufferSize = sizeof buffer;
  std::uint32_t entryVersion = 0;
  if (const int rc = g_linkport.api.getManufacturer(index - 1, buffer, &bufferSize, &entryVersion);
      rc != 0) {
    return rc;
  }
  CopyName(name, buffer);
  *size = bufferSize;
  *version = entryVersion;
  return VEXQ4_OK;
}

int VexQ4CLSerialSelectManufacturer(const char* name) {
  if (!name) return VEXQ4_E_ARGUMENT;
  if (std::strcmp(name, kComPorts) == 0) {
    Transport().grabberIndex = 0;
    return VEXQ4_OK;
  }
  if (const int rc = LoadLinkport(); rc != VEXQ4_OK) return rc;
  return g_linkport.api.selectManufacturer(name);
}

int VexQ4CLSerialGetNumSerialPorts(unsigned* count) {
  if (!count) return VEXQ4_E_ARGUMENT;
  if (Transport().grabberIndex == 0) {
    *count = kComPortsOffered;
    return VEXQ4_OK;
  }
  if (const int rc = LoadLinkport(); rc != VEXQ4_OK) return rc;
  std::uint32_t n = 0;
  if (const int rc = g_linkport.api.getNumSerialPorts(&n); rc != 0) return rc;
  // A grabber always has its one camera port, even when it reports none.
  *count = n == 0 ? 1 : n;
  return VEXQ4_OK;
}

int VexQ4CLAllSerialGetNumPorts(unsigned* count) {
  if (!count) return VEXQ4_E_ARGUMENT;
  if (const int rc = LoadAllSerial(); rc != VEXQ4_OK) return rc;
  std::uint32_t n = 0;
  if (const int rc = g_allSerial.api.getNumPorts(&n); rc != 0) return rc;
  *count = n;
  return VEXQ4_OK;
}

int VexQ4CLAllSerialGetPortInfo(unsigned index, char* manufacturer, unsigned* manufacturerSize,
                                char* portId, unsigned* portIdSize, unsigned* version) {
  if (!manufacturer || !manufacturerSize || !portId || !portIdSize || !version) {
    return VEXQ4_E_ARGUMENT;
  }
  if (const int rc = LoadAllSerial(); rc != VEXQ4_OK) return rc;
  char name[VEXQ4_CL_NAME_SIZE] = {};
  char id[VEXQ4_CL_NAME_SIZE] = {};
  std::uint32_t nameSize = sizeof name;
  std::uint32_t idSize = sizeof id;
  std::uint32_t portVersion = 0;
  if (const int rc = g_allSerial.api.getPortInfo(index, name, &nameSize, id, &idSize, &portVersion);
      rc != 0) {
    return rc;
  }
  CopyName(manufacturer, name);
  CopyName(portId, id);
  *manufacturerSize = nameSize;
  *portIdSize = idSize;
  *version = portVersion;
  return VEXQ4_OK;
}

// The next three work on the connection VexQ4InitComm opened and do not
// load the library themselves. Without a connection the reference is null;
// it goes to the library all the same, whose answer for it (the standard's
// invalid reference) is passed on like any other.
int VexQ4CLAllSerialGetNumBytesAvail(unsigned* count) {
  if (!count) return VEXQ4_E_ARGUMENT;
  if (!g_allSerial.module) return VEXQ4_E_CAMERA_LINK;
  std::uint32_t n = 0;
  if (const int rc = g_allSerial.api.getNumBytesAvail(Transport().allSerialRef, &n); rc != 0) {
    return rc;
  }
  *count = n;
  return VEXQ4_OK;
}

int VexQ4CLAllSerialGetSupportedBaudRates(unsigned* rates) {
  if (!rates) return VEXQ4_E_ARGUMENT;
  if (!g_allSerial.module) return VEXQ4_E_CAMERA_LINK;
  std::uint32_t bits = 0;
  if (const int rc = g_allSerial.api.getSupportedBaudRates(Transport().allSerialRef, &bits);
      rc != 0) {
    return rc;
  }
  *rates = bits;
  return VEXQ4_OK;
}

int VexQ4CLAllSerialSetBaudRate(unsigned rate) {
  if (!g_allSerial.module) return VEXQ4_E_CAMERA_LINK;
  return g_allSerial.api.setBaudRate(Transport().allSerialRef, rate);
}

}  // extern "C"
