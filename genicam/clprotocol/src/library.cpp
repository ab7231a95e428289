// The sixteen exports of the CLProtocol library (GenICam CLProtocol 1.2,
// section 6.2): connections by cookie, the probe, the XML, register
// access, parameters and error texts.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "VexQ4Comm.h"
#include "connection.h"
#include "device_id.h"
#include "errors.h"
#include "vexq4/clprotocol/clprotocol.h"
#include "vexq4/genicam/features.h"
#include "vexq4/genicam/genapi_xml.h"
#include "vexq4/model/VexCamInterface.h"

namespace vexq4::clprotocol {
namespace {

// The communication library's ports the connections take, from the top
// down (a program that links the library in statically keeps the low
// numbers for its COM ports).
constexpr int kHighestPort = 254;
constexpr int kLowestPort = 1;
// No register is larger than the description's room (features.h).
constexpr CLINT64 kLargestAccess = genicam::kXmlMaxLength;

struct State {
  std::mutex mutex;
  std::map<CLUINT32, std::shared_ptr<Connection>> connections;
  std::set<int> ports;                  // taken by connections and probes
  std::set<std::atomic<bool>*> probes;  // the stop flags of the probes under way
  CLUINT32 nextCookie = 0;
  bool initialised = false;
  clp_logger_t logger = nullptr;
  CLINT32 logLevel = CLP_LOG_WARN;
  CLINT32 stopValue = 0;
};

State& S() {
  static State* state = new State;  // never destroyed: exports may run at exit
  return *state;
}

void Log(CLINT32 level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Log(CLINT32 level, const char* format, ...) {
  clp_logger_t logger = nullptr;
  {
    const std::lock_guard lock(S().mutex);
    if (level > S().logLevel) return;
    logger = S().logger;
  }
  if (!logger) return;
  std::va_list arguments;
  va_start(arguments, format);
  logger(level, format, arguments);
  va_end(arguments);
}

// The standard's way to hand out a text: *size in, the buffer's size; out,
// the bytes written with the NUL (or needed, with CL_ERR_BUFFER_TOO_SMALL).
CLINT32 CopyText(std::string_view text, CLINT8* buffer, CLUINT32* size) {
  if (!size) return CL_ERR_INVALID_PTR;
  const auto needed = static_cast<CLUINT32>(text.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    return CL_ERR_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *size = needed;
  return CL_ERR_NO_ERR;
}

std::shared_ptr<Connection> Find(CLUINT32 cookie) {
  const std::lock_guard lock(S().mutex);
  const auto it = S().connections.find(cookie);
  return it == S().connections.end() ? nullptr : it->second;
}

// A connection found and locked, or the code to return.
struct Locked {
  std::shared_ptr<Connection> connection;
  std::unique_lock<std::mutex> lock;
  CLINT32 code = CL_ERR_NO_ERR;
};
Locked Lock(CLUINT32 cookie) {
  Locked out;
  out.connection = Find(cookie);
  if (!out.connection) {
    out.code = CL_ERR_INVALID_COOKIE;
    return out;
  }
  out.lock = std::unique_lock(out.connection->lock());
  // Disconnected while we waited for it.
  if (out.connection->closed()) out.code = CL_ERR_INVALID_COOKIE;
  return out;
}

int TakePort() {
  const std::lock_guard lock(S().mutex);
  for (int port = kHighestPort; port >= kLowestPort; --port)
    if (S().ports.insert(port).second) return port;
  return -1;
}

void GivePort(int port) {
  const std::lock_guard lock(S().mutex);
  S().ports.erase(port);
}

// Cookies are never 0 and never repeat while the library is loaded; the
// first one is drawn at random, so that one kept from an earlier load of
// the library is not taken for a connection of this one.
CLUINT32 NewCookie(const std::shared_ptr<Connection>& connection) {
  const std::lock_guard lock(S().mutex);
  State& s = S();
  if (s.nextCookie == 0) s.nextCookie = static_cast<CLUINT32>(std::random_device{}()) | 1u;
  CLUINT32 cookie = s.nextCookie;
  while (cookie == 0 || s.connections.contains(cookie)) ++cookie;
  s.nextCookie = cookie + 1;
  s.connections.emplace(cookie, connection);
  return cookie;
}

// The hosts' reads (fast reads unless VEXQ4_QUERY_DRAIN_MS says otherwise),
// once for the library.
void UseHostReads() {
  static std::once_flag once;
  std::call_once(once, [] { CVexCamInterface::UseHostReads(false); });
}

// Every export answers with a code: nothing escapes as an exception.
template <typename F>
CLINT32 Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return CL_ERR_OUT_OF_MEMORY;
  } catch (...) {
    return VEXQ4_CLP_E_CAMERA_FAILED;
  }
}

CLINT32 ReadU32(const CLINT8* buffer, CLINT64 size, CLUINT32& value) {
  if (!buffer) return CL_ERR_INVALID_PTR;
  if (size != 4) return CL_ERR_PARAM_DATA_SIZE;
  std::memcpy(&value, buffer, 4);
  return CL_ERR_NO_ERR;
}

CLINT32 WriteU32(CLINT8* buffer, CLINT64 size, CLUINT32 value) {
  if (!buffer) return CL_ERR_INVALID_PTR;
  if (size != 4) return CL_ERR_PARAM_DATA_SIZE;
  std::memcpy(buffer, &value, 4);
  return CL_ERR_NO_ERR;
}

bool IsSupported(CLP_PARAMS param) {
  switch (param) {
    case CLP_LOG_LEVEL:
    case CLP_LOG_CALLBACK:
    case CLP_STOP_PROBE_DEVICE:
    case CLP_DEVICE_BAUDERATE:
    case CLP_DEVICE_SUPPORTED_BAUDERATES:
      return true;
  }
  return false;
}

// The register space is 32 bits wide; no register is larger than the
// description's room.
CLINT32 CheckAccess(CLINT64 address, CLINT64 size) {
  if (address < 0 || address > 0xFFFFFFFFll || size <= 0) return VEXQ4_CLP_E_ACCESS_TOO_LARGE;
  if (size > kLargestAccess) return VEXQ4_CLP_E_NO_REGISTER;
  return CL_ERR_NO_ERR;
}

}  // namespace
}  // namespace vexq4::clprotocol

using namespace vexq4::clprotocol;

extern "C" {

CLINT32 clpGetCLProtocolVersion(CLUINT32* pVersionMajor, CLUINT32* pVersionMinor) {
  if (!pVersionMajor || !pVersionMinor) return CL_ERR_INVALID_PTR;
  *pVersionMajor = 1;
  *pVersionMinor = 2;
  return CL_ERR_NO_ERR;
}

CLINT32 clpInitLib(clp_logger_t logger, CLP_LOG_LEVEL_VALUE logLevel) {
  {
    const std::lock_guard lock(S().mutex);
    if (S().initialised) return CL_ERR_IN_USE;
    S().initialised = true;
    S().logger = logger;
    S().logLevel = logLevel;
  }
  Log(CLP_LOG_INFO, "RX-Q4 CLProtocol library: initialised (interface 1.2, XML ID %s)",
      XmlId().c_str());
  return CL_ERR_NO_ERR;
}

CLINT32 clpCloseLib(void) {
  return Guard([] {
    std::map<CLUINT32, std::shared_ptr<Connection>> connections;
    {
      const std::lock_guard lock(S().mutex);
      connections.swap(S().connections);
    }
    for (auto& [cookie, connection] : connections) {
      const std::lock_guard lock(connection->lock());
      connection->Close();
      GivePort(connection->port());
    }
    const std::lock_guard lock(S().mutex);
    S().initialised = false;
    S().logger = nullptr;
    S().logLevel = CLP_LOG_WARN;
    return CL_ERR_NO_ERR;
  });
}

CLINT32 clpGetShortDeviceIDTemplates(CLINT8* pShortDeviceTemplates, CLUINT32* pBufferSize) {
  return Guard([&] { return CopyText(ShortTemplates(), pShortDeviceTemplates, pBufferSize); });
}

CLINT32 clpProbeDevice(ISerial* pSerial, const CLINT8* pDeviceIDTemplate, CLINT8* pDeviceID,
                       CLUINT32* pBufferSize, CLUINT32* pCookie, const CLUINT32 /*TimeOut*/) {
  return Guard([&]() -> CLINT32 {
    if (!pSerial || !pDeviceIDTemplate || !pBufferSize || !pCookie) return CL_ERR_INVALID_PTR;
    const std::optional<Hint> hint = ParseHint(pDeviceIDTemplate);
    if (!hint) {
      Log(CLP_LOG_INFO, "probe: \"%s\" is no DeviceID of this library", pDeviceIDTemplate);
      return CL_ERR_INVALID_DEVICEID;
    }
    UseHostReads();
    // The Camera Link wake-up rate: the RX-Q4 runs at 9600 baud only.
    if (const CLINT32 rc = pSerial->clSetBaudRate(CL_BAUDRATE_9600); rc != CL_ERR_NO_ERR)
      Log(CLP_LOG_WARN, "probe: the grabber did not take 9600 baud (%d); probing as it is", rc);

    const int port = TakePort();
    if (port < 0) return CL_ERR_OUT_OF_MEMORY;
    auto connection = std::make_shared<Connection>(port);
    std::atomic<bool> stop{false};
    {
      const std::lock_guard lock(S().mutex);
      S().probes.insert(&stop);
    }
    Identity identity;
    const int opened = connection->Open(pSerial, identity, stop);
    {
      const std::lock_guard lock(S().mutex);
      S().probes.erase(&stop);
    }
    const auto fail = [&](CLINT32 code, const char* why) {
      connection->Close();
      GivePort(port);
      Log(CLP_LOG_INFO, "probe for \"%s\": %s", pDeviceIDTemplate, why);
      return code;
    };
    if (opened == kStopped) return fail(CL_ERR_NO_DEVICE_FOUND, "stopped (CLP_STOP_PROBE_DEVICE)");
    if (opened == kNotAnRxq4) return fail(CL_ERR_NO_DEVICE_FOUND, "answers are not an RX-Q4's");
    if (opened != VEXQ4_OK) return fail(CL_ERR_NO_DEVICE_FOUND, "no RX-Q4 answers at 9600 baud");

    const std::vector<std::string> tokens = DeviceIdTokens(identity);
    if (!Matches(*hint, tokens)) return fail(CL_ERR_NO_DEVICE_FOUND, "another RX-Q4 answers");
    const std::string deviceId = hint->longPrefix + Join(tokens);
    if (const CLINT32 rc = CopyText(deviceId, pDeviceID, pBufferSize); rc != CL_ERR_NO_ERR)
      return fail(rc, "the DeviceID buffer is too small");
    *pCookie = NewCookie(connection);
    Log(CLP_LOG_INFO, "probe: found %s (cookie %u)", deviceId.c_str(), *pCookie);
    return CL_ERR_NO_ERR;
  });
}

CLINT32 clpGetXMLIDs(ISerial* /*pSerial*/, const CLUINT32 Cookie, CLINT8* pXMLIDs,
                     CLUINT32* pBufferSize, const CLUINT32 /*TimeOut*/) {
  return Guard([&]() -> CLINT32 {
    if (!Find(Cookie)) return CL_ERR_INVALID_COOKIE;
    return CopyText(XmlId(), pXMLIDs, pBufferSize);
  });
}

CLINT32 clpGetXMLDescription(ISerial* /*pSerial*/, const CLUINT32 Cookie, const CLINT8* pXMLID,
                             CLINT8* pXMLBuffer, CLUINT32* pBufferSize,
                             const CLUINT32 /*TimeOut*/) {
  return Guard([&]() -> CLINT32 {
    if (!Find(Cookie)) return CL_ERR_INVALID_COOKIE;
    if (!pXMLID || !pBufferSize) return CL_ERR_INVALID_PTR;
    if (!IsOurXmlId(pXMLID)) return CL_ERR_NO_XMLDESCRIPTION_FOUND;
    // The same bytes the register map holds at kXmlAddress.
    const std::string& xml = vexq4::genicam::XmlText();
    if (!pXMLBuffer) {  // the size only
      *pBufferSize = static_cast<CLUINT32>(xml.size() + 1);
      return CL_ERR_NO_ERR;
    }
    return CopyText(xml, pXMLBuffer, pBufferSize);
  });
}

CLINT32 clpReadRegister(ISerial* pSerial, const CLUINT32 Cookie, const CLINT64 Address,
                        CLINT8* pBuffer, const CLINT64 BufferSize, const CLUINT32 /*TimeOut*/) {
  return Guard([&]() -> CLINT32 {
    Locked c = Lock(Cookie);
    if (c.code != CL_ERR_NO_ERR) return c.code;
    if (!pSerial || !pBuffer) return CL_ERR_INVALID_PTR;
    if (const CLINT32 rc = CheckAccess(Address, BufferSize); rc != CL_ERR_NO_ERR) return rc;
    const CLINT32 rc = c.connection->Read(
        pSerial, static_cast<std::uint32_t>(Address),
        {reinterpret_cast<std::uint8_t*>(pBuffer), static_cast<std::size_t>(BufferSize)});
    if (rc != CL_ERR_NO_ERR) Log(CLP_LOG_DEBUG, "%s", c.connection->lastError().c_str());
    return rc;
  });
}

CLINT32 clpWriteRegister(ISerial* pSerial, const CLUINT32 Cookie, const CLINT64 Address,
                         const CLINT8* pBuffer, const CLINT64 BufferSize, const CLUINT32 TimeOut) {
  return Guard([&]() -> CLINT32 {
    Locked c = Lock(Cookie);
    if (c.code != CL_ERR_NO_ERR) return c.code;
    if (!pSerial || !pBuffer) return CL_ERR_INVALID_PTR;
    if (const CLINT32 rc = CheckAccess(Address, BufferSize); rc != CL_ERR_NO_ERR) return rc;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pBuffer);
    const CLINT32 rc =
        c.connection->Write(pSerial, static_cast<std::uint32_t>(Address),
                            {bytes, bytes + BufferSize}, std::chrono::milliseconds(TimeOut));
    if (rc < 0) Log(CLP_LOG_DEBUG, "%s", c.connection->lastError().c_str());
    return rc;
  });
}

CLINT32 clpContinueWriteRegister(ISerial* /*pSerial*/, const CLUINT32 Cookie,
                                 const BOOL8 ContinueWaiting, const CLUINT32 TimeOut) {
  return Guard([&]() -> CLINT32 {
    Locked c = Lock(Cookie);
    if (c.code != CL_ERR_NO_ERR) return c.code;
    return c.connection->Continue(ContinueWaiting != 0, std::chrono::milliseconds(TimeOut));
  });
}

CLINT32 clpGetErrorText(const CLINT32 errorCode, CLINT8* errorText, CLUINT32* errorTextSize,
                        const CLUINT32 Cookie) {
  return Guard([&]() -> CLINT32 {
    if (errorCode == CL_ERR_GET_LAST_ERROR) {
      Locked c = Lock(Cookie);
      if (c.code != CL_ERR_NO_ERR) return c.code;
      const std::string& last = c.connection->lastError();
      return CopyText(last.empty() ? "No error on this connection." : last, errorText,
                      errorTextSize);
    }
    const std::string_view text = ErrorText(errorCode);
    if (text.empty()) return CL_ERR_ERROR_NOT_FOUND;
    return CopyText(text, errorText, errorTextSize);
  });
}

CLINT32 clpDisconnect(const CLUINT32 Cookie) {
  return Guard([&]() -> CLINT32 {
    std::shared_ptr<Connection> connection;
    {
      const std::lock_guard lock(S().mutex);
      const auto it = S().connections.find(Cookie);
      if (it == S().connections.end()) return CL_ERR_INVALID_COOKIE;
      connection = std::move(it->second);
      S().connections.erase(it);
    }
    const std::lock_guard lock(connection->lock());
    connection->Close();
    GivePort(connection->port());
    Log(CLP_LOG_INFO, "disconnected (cookie %u)", Cookie);
    return CL_ERR_NO_ERR;
  });
}

CLINT32 clpGetParam(ISerial* pSerial, CLP_PARAMS param, const CLUINT32 Cookie, CLINT8* pBuffer,
                    const CLINT64 BufferSize, const CLUINT32 /*TimeOut*/) {
  return Guard([&]() -> CLINT32 {
    switch (param) {
      case CLP_LOG_LEVEL: {
        const std::lock_guard lock(S().mutex);
        return WriteU32(pBuffer, BufferSize, static_cast<CLUINT32>(S().logLevel));
      }
      case CLP_LOG_CALLBACK: {
        if (!pBuffer) return CL_ERR_INVALID_PTR;
        if (BufferSize != static_cast<CLINT64>(sizeof(clpLogCallback_t)))
          return CL_ERR_PARAM_DATA_SIZE;
        const std::lock_guard lock(S().mutex);
        const clpLogCallback_t callback{kClpLogCallbackId, S().logger};
        std::memcpy(pBuffer, &callback, sizeof callback);
        return CL_ERR_NO_ERR;
      }
      case CLP_STOP_PROBE_DEVICE: {
        const std::lock_guard lock(S().mutex);
        return WriteU32(pBuffer, BufferSize, static_cast<CLUINT32>(S().stopValue));
      }
      case CLP_DEVICE_BAUDERATE: {
        Locked c = Lock(Cookie);
        if (c.code != CL_ERR_NO_ERR) return c.code;
        return WriteU32(pBuffer, BufferSize, c.connection->baudRate);
      }
      case CLP_DEVICE_SUPPORTED_BAUDERATES: {
        Locked c = Lock(Cookie);
        if (c.code != CL_ERR_NO_ERR) return c.code;
        if (!pSerial || !pBuffer) return CL_ERR_INVALID_PTR;
        if (BufferSize != 4) return CL_ERR_PARAM_DATA_SIZE;
        c.connection->Settle();
        CLUINT32 grabber = 0;
        if (const CLINT32 rc = pSerial->clGetSupportedBaudRates(&grabber); rc != CL_ERR_NO_ERR)
          return rc;
        // The camera runs at 9600 baud only.
        return WriteU32(pBuffer, BufferSize, grabber & CL_BAUDRATE_9600);
      }
    }
    return CL_ERR_PARAM_NOT_SUPPORTED;
  });
}

CLINT32 clpSetParam(ISerial* pSerial, CLP_PARAMS param, const CLUINT32 Cookie,
                    const CLINT8* pBuffer, const CLINT64 BufferSize, const CLUINT32 /*TimeOut*/) {
  return Guard([&]() -> CLINT32 {
    switch (param) {
      case CLP_LOG_LEVEL: {
        CLUINT32 value = 0;
        if (const CLINT32 rc = ReadU32(pBuffer, BufferSize, value); rc != CL_ERR_NO_ERR) return rc;
        if (value > CLP_LOG_NOTSET) return CL_ERR_PARAM_DATA_VALUE;
        const std::lock_guard lock(S().mutex);
        S().logLevel = static_cast<CLINT32>(value);
        return CL_ERR_NO_ERR;
      }
      case CLP_LOG_CALLBACK: {
        if (!pBuffer) return CL_ERR_INVALID_PTR;
        clpLogCallback_t callback{};
        if (BufferSize == static_cast<CLINT64>(sizeof(clpLogCallback_t))) {
          std::memcpy(&callback, pBuffer, sizeof callback);
        } else if (BufferSize == static_cast<CLINT64>(sizeof(clpLogCallback_t*))) {
          const clpLogCallback_t* given = nullptr;
          std::memcpy(&given, pBuffer, sizeof given);
          if (!given) return CL_ERR_INVALID_PTR;
          callback = *given;
        } else {
          return CL_ERR_PARAM_DATA_SIZE;
        }
        if (callback.id != kClpLogCallbackId) return CL_ERR_PARAM_DATA_VALUE;
        const std::lock_guard lock(S().mutex);
        S().logger = callback.logger;
        return CL_ERR_NO_ERR;
      }
      case CLP_STOP_PROBE_DEVICE: {
        CLUINT32 value = 0;
        if (const CLINT32 rc = ReadU32(pBuffer, BufferSize, value); rc != CL_ERR_NO_ERR) return rc;
        const std::lock_guard lock(S().mutex);
        S().stopValue = static_cast<CLINT32>(value);
        // Stops the probes under way; later ones run as usual.
        if (value != 0)
          for (std::atomic<bool>* stop : S().probes) stop->store(true);
        return CL_ERR_NO_ERR;
      }
      case CLP_DEVICE_BAUDERATE: {
        Locked c = Lock(Cookie);
        if (c.code != CL_ERR_NO_ERR) return c.code;
        CLUINT32 value = 0;
        if (const CLINT32 rc = ReadU32(pBuffer, BufferSize, value); rc != CL_ERR_NO_ERR) return rc;
        if (!pSerial) return CL_ERR_INVALID_PTR;
        // The camera runs at 9600 baud only; AutoMax is that.
        if (value != CL_BAUDRATE_9600 && value != CL_BAUDRATE_AUTOMAX)
          return CL_ERR_BAUD_RATE_NOT_SUPPORTED;
        c.connection->Settle();
        if (const CLINT32 rc = pSerial->clSetBaudRate(CL_BAUDRATE_9600); rc != CL_ERR_NO_ERR)
          return rc;
        c.connection->baudRate = CL_BAUDRATE_9600;
        return CL_ERR_NO_ERR;
      }
      case CLP_DEVICE_SUPPORTED_BAUDERATES: {
        Locked c = Lock(Cookie);
        if (c.code != CL_ERR_NO_ERR) return c.code;
        return CL_ERR_PARAM_READ_ONLY;
      }
    }
    return CL_ERR_PARAM_NOT_SUPPORTED;
  });
}

CLINT32 clpIsParamSupported(CLP_PARAMS param) {
  return IsSupported(param) ? CL_ERR_NO_ERR : CL_ERR_PARAM_NOT_SUPPORTED;
}

CLINT32 clpGetEventData(const CLUINT32 Cookie, CLINT8* pBuffer, CLUINT32* pBufferSize) {
  return Guard([&]() -> CLINT32 {
    if (!Find(Cookie)) return CL_ERR_INVALID_COOKIE;
    if (!pBuffer || !pBufferSize) return CL_ERR_INVALID_PTR;
    // The RX-Q4 sends no events: there never is a new one.
    return CL_ERR_TIMEOUT;
  });
}

}  // extern "C"
