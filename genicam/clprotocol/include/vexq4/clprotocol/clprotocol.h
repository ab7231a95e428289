// The GenICam CLProtocol interface (version 1.2) as this library implements
// it: the types and constants of the Camera Link serial interface the
// standard builds on, the serial object a producer hands in (ISerial), and
// the sixteen functions a CLProtocol driver library exports with C linkage.
//
// Written for this project from the text of the GenICam CLProtocol
// standard module, version 1.2 (sections 3 to 6) and the Camera Link serial
// interface it refers to; names and numbers are the standard's, so that a
// producer built against the standard's own headers calls this library
// unchanged. Section 6.1 fixes the four member functions of ISerial and
// their order, which is the order of the virtual function table a producer
// passes in.
//
// Besides the standard's codes, the library answers with codes of its own
// in the range the standard leaves to implementations (-30001 ...);
// clpGetErrorText gives a text for every code it returns.
#pragma once

#include <cstdarg>
#include <cstdint>

// ---- Types of the Camera Link serial interface.
using CLINT8 = char;
using CLINT32 = std::int32_t;
using CLUINT32 = std::uint32_t;
using CLINT64 = std::int64_t;
using BOOL8 = char;

// ---- Baud rates: one bit each (clGetSupportedBaudRates gives a set of them).
inline constexpr CLUINT32 CL_BAUDRATE_9600 = 0x1;
inline constexpr CLUINT32 CL_BAUDRATE_19200 = 0x2;
inline constexpr CLUINT32 CL_BAUDRATE_38400 = 0x4;
inline constexpr CLUINT32 CL_BAUDRATE_57600 = 0x8;
inline constexpr CLUINT32 CL_BAUDRATE_115200 = 0x10;
inline constexpr CLUINT32 CL_BAUDRATE_230400 = 0x20;
inline constexpr CLUINT32 CL_BAUDRATE_460800 = 0x40;
inline constexpr CLUINT32 CL_BAUDRATE_921600 = 0x80;
// The fastest rate both the camera and the grabber run at.
inline constexpr CLUINT32 CL_BAUDRATE_AUTOMAX = 0x40000000;

// ---- Status codes. Negative: an error; positive: a success with news; the
// standard's ranges: the serial interface's ±10xxx, CLProtocol's ±20xxx,
// an implementation's own ±30xxx.
inline constexpr CLINT32 CL_ERR_NO_ERR = 0;
inline constexpr CLINT32 CL_ERR_BUFFER_TOO_SMALL = -10001;
inline constexpr CLINT32 CL_ERR_MANU_DOES_NOT_EXIST = -10002;
inline constexpr CLINT32 CL_ERR_PORT_IN_USE = -10003;
inline constexpr CLINT32 CL_ERR_TIMEOUT = -10004;
inline constexpr CLINT32 CL_ERR_INVALID_INDEX = -10005;
inline constexpr CLINT32 CL_ERR_INVALID_REFERENCE = -10006;
inline constexpr CLINT32 CL_ERR_ERROR_NOT_FOUND = -10007;
inline constexpr CLINT32 CL_ERR_BAUD_RATE_NOT_SUPPORTED = -10008;
inline constexpr CLINT32 CL_ERR_OUT_OF_MEMORY = -10009;
inline constexpr CLINT32 CL_ERR_REGISTRY_KEY_NOT_FOUND = -10010;
inline constexpr CLINT32 CL_ERR_INVALID_PTR = -10011;
inline constexpr CLINT32 CL_ERR_IN_USE = -10012;
inline constexpr CLINT32 CL_ERR_UNABLE_TO_LOAD_DLL = -10098;
inline constexpr CLINT32 CL_ERR_FUNCTION_NOT_FOUND = -10099;
// A write still under way for a good reason: the next call on the
// connection must be clpContinueWriteRegister.
inline constexpr CLINT32 CL_ERR_PENDING_WRITE = 20101;
inline constexpr CLINT32 CL_ERR_INVALID_DEVICEID = -20100;
inline constexpr CLINT32 CL_ERR_NO_DEVICE_FOUND = -20101;
inline constexpr CLINT32 CL_ERR_NO_XMLDESCRIPTION_FOUND = -20102;
inline constexpr CLINT32 CL_ERR_INVALID_COOKIE = -20103;
// Given to clpGetErrorText with a cookie: the last error of that connection.
inline constexpr CLINT32 CL_ERR_GET_LAST_ERROR = -20104;
inline constexpr CLINT32 CL_ERR_PARAM_NOT_SUPPORTED = -20105;
inline constexpr CLINT32 CL_ERR_PARAM_READ_ONLY = -20106;
inline constexpr CLINT32 CL_ERR_PARAM_DATA_SIZE = -20107;
inline constexpr CLINT32 CL_ERR_PARAM_DATA_VALUE = -20108;

// ---- This library's own codes (the implementation's range).
inline constexpr CLINT32 VEXQ4_CLP_E_NO_REGISTER = -30001;      // no register there, or across two
inline constexpr CLINT32 VEXQ4_CLP_E_PART_OF_INTEGER = -30002;  // an integer not accessed whole
inline constexpr CLINT32 VEXQ4_CLP_E_READ_ONLY = -30003;        // a write to a read-only register
inline constexpr CLINT32 VEXQ4_CLP_E_VALUE_REFUSED =
    -30004;  // out of range, not taken; nothing sent
inline constexpr CLINT32 VEXQ4_CLP_E_CAMERA_OFFLINE = -30005;    // the camera stopped answering
inline constexpr CLINT32 VEXQ4_CLP_E_NOT_ACKNOWLEDGED = -30006;  // no "COMPLETE" for a command
inline constexpr CLINT32 VEXQ4_CLP_E_MALFORMED_ANSWER = -30007;  // an answer not understood
inline constexpr CLINT32 VEXQ4_CLP_E_CAMERA_FAILED = -30008;     // another failed exchange
inline constexpr CLINT32 VEXQ4_CLP_E_NO_WRITE_PENDING = -30009;  // continue without a pending write
inline constexpr CLINT32 VEXQ4_CLP_E_ACCESS_TOO_LARGE =
    -30010;  // an address or size beyond 32 bits

// ---- Parameters of clpGetParam, clpSetParam and clpIsParamSupported.
enum CLP_PARAMS : int {
  // For the library as a whole (the cookie is not looked at).
  CLP_LOG_LEVEL = 1,          // 32 bits: one of CLP_LOG_LEVEL_VALUE
  CLP_LOG_CALLBACK = 2,       // a clpLogCallback_t (or a pointer to one)
  CLP_STOP_PROBE_DEVICE = 3,  // 32 bits: not 0 stops the probes under way (v1.2)
  // For the connection the cookie names.
  CLP_DEVICE_BAUDERATE = -1,            // 32 bits: one CL_BAUDRATE_ bit
  CLP_DEVICE_SUPPORTED_BAUDERATES = -2  // 32 bits, read only: the rates camera and grabber share
};

enum CLP_LOG_LEVEL_VALUE : int {
  CLP_LOG_FATAL = 0,
  CLP_LOG_ALERT = 100,
  CLP_LOG_CRIT = 200,
  CLP_LOG_ERROR = 300,
  CLP_LOG_WARN = 400,
  CLP_LOG_NOTICE = 500,
  CLP_LOG_INFO = 600,
  CLP_LOG_DEBUG = 700,
  CLP_LOG_NOTSET = 800
};

// The producer's logging function: a printf format and its arguments.
using clp_logger_t = void (*)(CLINT32 level, const char* format, std::va_list arguments);

extern "C" {
// What CLP_LOG_CALLBACK carries; `id` tells a valid one.
struct clpLogCallback_t {
  CLUINT32 id;
  clp_logger_t logger;
};
}
inline constexpr CLUINT32 kClpLogCallbackId = 0xeb6e1ca9;

// ---- The serial object a producer hands in: the frame grabber's port.
// The four functions behave as the Camera Link serial interface's functions
// of the same names (section 6.1), in this order: the order is the
// producer's virtual function table. There is no virtual destructor: the
// library never deletes a producer's object.
class ISerial {
 public:
  // Reads *bufferSize bytes, waiting up to serialTimeOut ms; on return
  // *bufferSize is the count read.
  virtual CLINT32 clSerialRead(CLINT8* buffer, CLUINT32* bufferSize, CLUINT32 serialTimeOut) = 0;
  // Writes *bufferSize bytes within serialTimeOut ms; on return *bufferSize
  // is the count written.
  virtual CLINT32 clSerialWrite(CLINT8* buffer, CLUINT32* bufferSize, CLUINT32 serialTimeOut) = 0;
  // The grabber's rates, CL_BAUDRATE_ bits.
  virtual CLINT32 clGetSupportedBaudRates(CLUINT32* baudRates) = 0;
  // Sets the grabber's rate (one CL_BAUDRATE_ bit).
  virtual CLINT32 clSetBaudRate(CLUINT32 baudRate) = 0;

 protected:
  ~ISerial() = default;
};

// ---- The exports, with C linkage (section 6.2).
#if defined(__GNUC__)
#define VEXQ4_CLP_EXPORT __attribute__((visibility("default")))
#else
#define VEXQ4_CLP_EXPORT
#endif

extern "C" {

// The interface version: 1.2.
VEXQ4_CLP_EXPORT CLINT32 clpGetCLProtocolVersion(CLUINT32* pVersionMajor, CLUINT32* pVersionMinor);

// After loading and before unloading (v1.1). clpInitLib takes the
// producer's logger (may be null) and log level; CL_ERR_IN_USE when the
// library is initialised already. clpCloseLib ends every connection.
VEXQ4_CLP_EXPORT CLINT32 clpInitLib(clp_logger_t logger, CLP_LOG_LEVEL_VALUE logLevel);
VEXQ4_CLP_EXPORT CLINT32 clpCloseLib(void);

// The short DeviceID templates this library understands, separated by
// tabs, NUL-terminated; *pBufferSize in: the buffer's size, out: the bytes
// written (or needed, with CL_ERR_BUFFER_TOO_SMALL).
VEXQ4_CLP_EXPORT CLINT32 clpGetShortDeviceIDTemplates(CLINT8* pShortDeviceTemplates,
                                                      CLUINT32* pBufferSize);

// Identifies the camera on pSerial (at 9600 baud) using a DeviceID
// template as hint, or reconnects it by its DeviceID; on success the
// DeviceID and a cookie (never 0) for every later call.
VEXQ4_CLP_EXPORT CLINT32 clpProbeDevice(ISerial* pSerial, const CLINT8* pDeviceIDTemplate,
                                        CLINT8* pDeviceID, CLUINT32* pBufferSize, CLUINT32* pCookie,
                                        const CLUINT32 TimeOut);

// The XML IDs the library provides, separated by tabs, NUL-terminated.
VEXQ4_CLP_EXPORT CLINT32 clpGetXMLIDs(ISerial* pSerial, const CLUINT32 Cookie, CLINT8* pXMLIDs,
                                      CLUINT32* pBufferSize, const CLUINT32 TimeOut);

// The XML description of an XML ID, NUL-terminated; a null pXMLBuffer asks
// for the size only.
VEXQ4_CLP_EXPORT CLINT32 clpGetXMLDescription(ISerial* pSerial, const CLUINT32 Cookie,
                                              const CLINT8* pXMLID, CLINT8* pXMLBuffer,
                                              CLUINT32* pBufferSize, const CLUINT32 TimeOut);

// Register reads and writes; on failure a read leaves pBuffer as it was.
VEXQ4_CLP_EXPORT CLINT32 clpReadRegister(ISerial* pSerial, const CLUINT32 Cookie,
                                         const CLINT64 Address, CLINT8* pBuffer,
                                         const CLINT64 BufferSize, const CLUINT32 TimeOut);
// CL_ERR_PENDING_WRITE: the write goes on; the next call on the connection
// must be clpContinueWriteRegister.
VEXQ4_CLP_EXPORT CLINT32 clpWriteRegister(ISerial* pSerial, const CLUINT32 Cookie,
                                          const CLINT64 Address, const CLINT8* pBuffer,
                                          const CLINT64 BufferSize, const CLUINT32 TimeOut);
// Waits up to TimeOut more for a pending write (ContinueWaiting true), or
// abandons it (false).
VEXQ4_CLP_EXPORT CLINT32 clpContinueWriteRegister(ISerial* pSerial, const CLUINT32 Cookie,
                                                  const BOOL8 ContinueWaiting,
                                                  const CLUINT32 TimeOut);

// English text of a code; with CL_ERR_GET_LAST_ERROR, of the last error on
// the connection Cookie names.
VEXQ4_CLP_EXPORT CLINT32 clpGetErrorText(const CLINT32 errorCode, CLINT8* errorText,
                                         CLUINT32* errorTextSize, const CLUINT32 Cookie);

// Ends the connection; the cookie is invalid from then on.
VEXQ4_CLP_EXPORT CLINT32 clpDisconnect(const CLUINT32 Cookie);

// Parameters (v1.1): see CLP_PARAMS.
VEXQ4_CLP_EXPORT CLINT32 clpGetParam(ISerial* pSerial, CLP_PARAMS param, const CLUINT32 Cookie,
                                     CLINT8* pBuffer, const CLINT64 BufferSize,
                                     const CLUINT32 TimeOut);
VEXQ4_CLP_EXPORT CLINT32 clpSetParam(ISerial* pSerial, CLP_PARAMS param, const CLUINT32 Cookie,
                                     const CLINT8* pBuffer, const CLINT64 BufferSize,
                                     const CLUINT32 TimeOut);
VEXQ4_CLP_EXPORT CLINT32 clpIsParamSupported(CLP_PARAMS param);

// The next device event (v1.2): the RX-Q4 sends none, so a valid cookie
// gets CL_ERR_TIMEOUT.
VEXQ4_CLP_EXPORT CLINT32 clpGetEventData(const CLUINT32 Cookie, CLINT8* pBuffer,
                                         CLUINT32* pBufferSize);

}  // extern "C"
