// The CLProtocol library's sixteen exports in virtual time, as
// clprotocol_test.cpp runs them: the error texts, the parameters, the log
// and events, and disconnecting.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "clprotocol_fixture.h"

namespace vexq4::clprotocol::test {
namespace {

// ---- Error texts, parameters, events.

TEST_F(ClProtocol, EveryCodeHasItsText) {
  for (CLINT32 code : {CL_ERR_NO_ERR,
                       CL_ERR_BUFFER_TOO_SMALL,
                       CL_ERR_TIMEOUT,
                       CL_ERR_INVALID_PTR,
                       CL_ERR_IN_USE,
                       CL_ERR_ERROR_NOT_FOUND,
                       CL_ERR_OUT_OF_MEMORY,
                       CL_ERR_BAUD_RATE_NOT_SUPPORTED,
                       CL_ERR_PENDING_WRITE,
                       CL_ERR_INVALID_DEVICEID,
                       CL_ERR_NO_DEVICE_FOUND,
                       CL_ERR_NO_XMLDESCRIPTION_FOUND,
                       CL_ERR_INVALID_COOKIE,
                       CL_ERR_PARAM_NOT_SUPPORTED,
                       CL_ERR_PARAM_READ_ONLY,
                       CL_ERR_PARAM_DATA_SIZE,
                       CL_ERR_PARAM_DATA_VALUE,
                       VEXQ4_CLP_E_NO_REGISTER,
                       VEXQ4_CLP_E_PART_OF_INTEGER,
                       VEXQ4_CLP_E_READ_ONLY,
                       VEXQ4_CLP_E_VALUE_REFUSED,
                       VEXQ4_CLP_E_CAMERA_OFFLINE,
                       VEXQ4_CLP_E_NOT_ACKNOWLEDGED,
                       VEXQ4_CLP_E_MALFORMED_ANSWER,
                       VEXQ4_CLP_E_CAMERA_FAILED,
                       VEXQ4_CLP_E_NO_WRITE_PENDING,
                       VEXQ4_CLP_E_ACCESS_TOO_LARGE}) {
    std::array<CLINT8, 256> text{};
    CLUINT32 size = text.size();
    ASSERT_EQ(clpGetErrorText(code, text.data(), &size, 0), CL_ERR_NO_ERR) << code;
    EXPECT_GT(std::strlen(text.data()), 8u) << code;
    EXPECT_EQ(size, std::strlen(text.data()) + 1) << code;
  }
  std::array<CLINT8, 8> small{};
  CLUINT32 size = small.size();
  EXPECT_EQ(clpGetErrorText(CL_ERR_TIMEOUT, small.data(), &size, 0), CL_ERR_BUFFER_TOO_SMALL);
  EXPECT_GT(size, 8u);
  size = small.size();
  EXPECT_EQ(clpGetErrorText(12345, small.data(), &size, 0), CL_ERR_ERROR_NOT_FOUND);
  EXPECT_EQ(clpGetErrorText(CL_ERR_GET_LAST_ERROR, small.data(), &size, 0), CL_ERR_INVALID_COOKIE);
}

TEST_F(ClProtocol, BaudRateParametersSayNineThousandSixHundred) {
  const CLUINT32 cookie = Connect();
  for (CLP_PARAMS p : {CLP_LOG_LEVEL, CLP_LOG_CALLBACK, CLP_STOP_PROBE_DEVICE, CLP_DEVICE_BAUDERATE,
                       CLP_DEVICE_SUPPORTED_BAUDERATES})
    EXPECT_EQ(clpIsParamSupported(p), CL_ERR_NO_ERR) << p;
  EXPECT_EQ(clpIsParamSupported(static_cast<CLP_PARAMS>(77)), CL_ERR_PARAM_NOT_SUPPORTED);

  CLUINT32 value = 0;
  auto* out = reinterpret_cast<CLINT8*>(&value);
  EXPECT_EQ(clpGetParam(&serial, CLP_DEVICE_BAUDERATE, cookie, out, 4, kTimeOut), CL_ERR_NO_ERR);
  EXPECT_EQ(value, CL_BAUDRATE_9600);
  EXPECT_EQ(clpGetParam(&serial, CLP_DEVICE_SUPPORTED_BAUDERATES, cookie, out, 4, kTimeOut),
            CL_ERR_NO_ERR);
  EXPECT_EQ(value, CL_BAUDRATE_9600);  // the grabber's 9600, 19200, 115200 and the camera's 9600
  EXPECT_EQ(clpGetParam(&serial, CLP_DEVICE_BAUDERATE, cookie, out, 8, kTimeOut),
            CL_ERR_PARAM_DATA_SIZE);
  EXPECT_EQ(clpGetParam(&serial, static_cast<CLP_PARAMS>(77), cookie, out, 4, kTimeOut),
            CL_ERR_PARAM_NOT_SUPPORTED);

  serial.calls.clear();
  value = CL_BAUDRATE_19200;
  EXPECT_EQ(clpSetParam(&serial, CLP_DEVICE_BAUDERATE, cookie, out, 4, kTimeOut),
            CL_ERR_BAUD_RATE_NOT_SUPPORTED);
  EXPECT_TRUE(serial.calls.empty());
  value = CL_BAUDRATE_9600;
  EXPECT_EQ(clpSetParam(&serial, CLP_DEVICE_BAUDERATE, cookie, out, 4, kTimeOut), CL_ERR_NO_ERR);
  EXPECT_EQ(serial.calls, (std::vector<std::string>{"baud 1"}));
  EXPECT_EQ(clpSetParam(&serial, CLP_DEVICE_SUPPORTED_BAUDERATES, cookie, out, 4, kTimeOut),
            CL_ERR_PARAM_READ_ONLY);
  EXPECT_EQ(clpGetParam(&serial, CLP_DEVICE_BAUDERATE, cookie + 1, out, 4, kTimeOut),
            CL_ERR_INVALID_COOKIE);
  EXPECT_TRUE(Received().empty());  // the camera is not asked: it has no rate command
}

std::vector<std::string> g_logged;
void Logger(CLINT32 level, const char* format, std::va_list arguments) {
  char line[512];
  std::vsnprintf(line, sizeof line, format, arguments);
  g_logged.push_back(std::to_string(level) + " " + line);
}

TEST_F(ClProtocol, LogCallbackAndLevel) {
  g_logged.clear();
  const clpLogCallback_t callback{kClpLogCallbackId, Logger};
  EXPECT_EQ(clpSetParam(nullptr, CLP_LOG_CALLBACK, 0, reinterpret_cast<const CLINT8*>(&callback),
                        sizeof callback, kTimeOut),
            CL_ERR_NO_ERR);
  CLUINT32 level = CLP_LOG_INFO;
  EXPECT_EQ(
      clpSetParam(nullptr, CLP_LOG_LEVEL, 0, reinterpret_cast<const CLINT8*>(&level), 4, kTimeOut),
      CL_ERR_NO_ERR);
  const CLUINT32 cookie = Connect();
  ASSERT_FALSE(g_logged.empty());
  EXPECT_NE(g_logged.back().find("VEX#RXQ4#RX_Q4CL#V120#SN10042"), std::string::npos)
      << g_logged.back();
  level = 0;
  EXPECT_EQ(
      clpGetParam(nullptr, CLP_LOG_LEVEL, cookie, reinterpret_cast<CLINT8*>(&level), 4, kTimeOut),
      CL_ERR_NO_ERR);
  EXPECT_EQ(level, static_cast<CLUINT32>(CLP_LOG_INFO));
  const clpLogCallback_t bad{1, Logger};
  EXPECT_EQ(clpSetParam(nullptr, CLP_LOG_CALLBACK, 0, reinterpret_cast<const CLINT8*>(&bad),
                        sizeof bad, kTimeOut),
            CL_ERR_PARAM_DATA_VALUE);
  const clpLogCallback_t none{kClpLogCallbackId, nullptr};
  const clpLogCallback_t* pointer = &none;
  EXPECT_EQ(clpSetParam(nullptr, CLP_LOG_CALLBACK, 0, reinterpret_cast<const CLINT8*>(&pointer),
                        sizeof pointer, kTimeOut),
            CL_ERR_NO_ERR);
}

TEST_F(ClProtocol, NoEventsEverComeFromTheRxq4) {
  const CLUINT32 cookie = Connect();
  std::array<CLINT8, 64> event{};
  CLUINT32 size = event.size();
  EXPECT_EQ(clpGetEventData(cookie, event.data(), &size), CL_ERR_TIMEOUT);
  EXPECT_EQ(clpGetEventData(cookie, nullptr, &size), CL_ERR_INVALID_PTR);
}

// ---- Disconnecting.

TEST_F(ClProtocol, AStaleCookieIsRefusedEverywhere) {
  const CLUINT32 cookie = Connect();
  ASSERT_EQ(clpDisconnect(cookie), CL_ERR_NO_ERR);
  std::array<CLINT8, 64> buffer{};
  CLUINT32 size = buffer.size();
  std::int32_t value = 0;
  EXPECT_EQ(clpGetXMLIDs(&serial, cookie, buffer.data(), &size, kTimeOut), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpGetXMLDescription(&serial, cookie, XmlId().c_str(), buffer.data(), &size, kTimeOut),
            CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(ReadInt(cookie, SettingAddress(GA), value), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(WriteInt(cookie, SettingAddress(GA), 1), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpContinueWriteRegister(&serial, cookie, 1, kTimeOut), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpGetParam(&serial, CLP_DEVICE_BAUDERATE, cookie, buffer.data(), 4, kTimeOut),
            CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpSetParam(&serial, CLP_DEVICE_BAUDERATE, cookie, buffer.data(), 4, kTimeOut),
            CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpGetEventData(cookie, buffer.data(), &size), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpGetErrorText(CL_ERR_GET_LAST_ERROR, buffer.data(), &size, cookie),
            CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpDisconnect(cookie), CL_ERR_INVALID_COOKIE);
  EXPECT_EQ(clpDisconnect(0), CL_ERR_INVALID_COOKIE);
  EXPECT_TRUE(Received().empty());
  // The camera is free for a new connection, with a new cookie.
  const CLUINT32 again = Connect();
  EXPECT_NE(again, cookie);
  EXPECT_EQ(ReadInt(again, SettingAddress(GA), value), CL_ERR_NO_ERR);
}

}  // namespace
}  // namespace vexq4::clprotocol::test
