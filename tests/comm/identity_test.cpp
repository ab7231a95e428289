// Camera ID, model name and user ID: exact texts, buffer limits, refusals.
#include <cstring>
#include <string>

#include "comm_fixture.h"

namespace vexq4::test {
namespace {

using IdentityTest = CommTest;

TEST_F(IdentityTest, TextsArePassedExactly) {
  FakeLine& line = Open();
  line.values["ID"] = "123456789";
  line.values["MD"] = "RX Q4cl";
  line.values["UD"] = "";
  char id[10];
  char model[10];
  char user[20];
  std::memset(user, 'x', sizeof user);
  EXPECT_EQ(VexQ4GetCameraID(1, id), VEXQ4_OK);
  EXPECT_STREQ(id, "123456789");
  EXPECT_EQ(VexQ4GetModelName(1, model), VEXQ4_OK);
  EXPECT_STREQ(model, "RX Q4cl");
  EXPECT_EQ(VexQ4GetUserID(1, user), VEXQ4_OK);
  EXPECT_STREQ(user, "");
  line.values["UD"] = "Line 7 left side x";  // 19 characters fit
  line.values["UD"] += "y";
  EXPECT_EQ(VexQ4GetUserID(1, user), VEXQ4_OK);
  EXPECT_STREQ(user, "Line 7 left side xy");
  EXPECT_EQ(line.AllWritten(), "ID?\r\nMD?\r\nUD?\r\nUD?\r\n");

  // No trimming: blanks around a text are part of it.
  line.values["ID"] = " 0042 ";
  line.values["UD"] = "  left  ";
  EXPECT_EQ(VexQ4GetCameraID(1, id), VEXQ4_OK);
  EXPECT_STREQ(id, " 0042 ");
  EXPECT_EQ(VexQ4GetUserID(1, user), VEXQ4_OK);
  EXPECT_STREQ(user, "  left  ");
}

TEST_F(IdentityTest, ValuesLongerThanTheBufferAreRefusedAndLeaveItAlone) {
  FakeLine& line = Open();
  line.values["ID"] = "1234567890";
  line.values["MD"] = "ABCDEFGHIJKLMNOP";
  line.values["UD"] = std::string(20, 'u');
  char id[10];
  char model[10];
  char user[20];
  std::memset(id, '#', sizeof id);
  std::memset(model, '#', sizeof model);
  std::memset(user, '#', sizeof user);
  EXPECT_EQ(VexQ4GetCameraID(1, id), VEXQ4_E_MALFORMED);
  EXPECT_EQ(VexQ4GetModelName(1, model), VEXQ4_E_MALFORMED);
  EXPECT_EQ(VexQ4GetUserID(1, user), VEXQ4_E_MALFORMED);
  EXPECT_EQ(std::string(id, sizeof id), std::string(10, '#'));
  EXPECT_EQ(std::string(model, sizeof model), std::string(10, '#'));
  EXPECT_EQ(std::string(user, sizeof user), std::string(20, '#'));

  line.silent = true;
  EXPECT_EQ(VexQ4GetCameraID(1, id), VEXQ4_E_TIMEOUT);
  EXPECT_EQ(std::string(id, sizeof id), std::string(10, '#'));
}

TEST_F(IdentityTest, UserIdIsSentAsGiven) {
  FakeLine& line = Open();
  EXPECT_EQ(VexQ4SetUserID(1, "LINE7"), VEXQ4_OK);
  EXPECT_EQ(VexQ4SetUserID(1, "left cam 2"), VEXQ4_OK);
  EXPECT_EQ(VexQ4SetUserID(1, "0123456789abcdef"), VEXQ4_OK);
  EXPECT_EQ(VexQ4SetUserID(1, ""), VEXQ4_OK);
  ASSERT_EQ(line.writes.size(), 4u);
  EXPECT_EQ(line.writes[0].bytes, "UD=LINE7\r\n");
  EXPECT_EQ(line.writes[1].bytes, "UD=left cam 2\r\n");
  EXPECT_EQ(line.writes[2].bytes, "UD=0123456789abcdef\r\n");
  EXPECT_EQ(line.writes[3].bytes, "UD=\r\n");
  // It is a command: it keeps the gap after the previous one.
  EXPECT_GE(line.writes[1].timeMs - line.writes[0].timeMs, 600u);

  line.onLine = [&](std::string_view) { line.Send("UD=LINE7\r\nERR\r\n"); };
  EXPECT_EQ(VexQ4SetUserID(1, "LINE7"), VEXQ4_E_NOT_ACKNOWLEDGED);
}

TEST_F(IdentityTest, UserIdsTheCameraCannotTakeAreRefusedUnsent) {
  FakeLine& line = Open();
  for (const char* text :
       {"0123456789abcdefg", "A\r\nSH=1", "tab\there", "bell\a", "del\x7f", "caf\xc3\xa9"}) {
    EXPECT_EQ(VexQ4SetUserID(1, text), VEXQ4_E_ARGUMENT) << text;
  }
  EXPECT_EQ(VexQ4SetUserID(1, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_TRUE(line.writes.empty());
  EXPECT_EQ(VexQ4SetUserID(9, "LINE7"), VEXQ4_E_NO_CONNECTION);
}

TEST_F(IdentityTest, NullBuffersAndMissingConnection) {
  FakeLine& line = Open();
  EXPECT_EQ(VexQ4GetCameraID(1, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4GetModelName(1, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_EQ(VexQ4GetUserID(1, nullptr), VEXQ4_E_ARGUMENT);
  EXPECT_TRUE(line.writes.empty());
  char id[10] = "unchanged";
  EXPECT_EQ(VexQ4GetCameraID(2, id), VEXQ4_E_NO_CONNECTION);
  EXPECT_STREQ(id, "unchanged");
}

}  // namespace
}  // namespace vexq4::test
