// vexq4 through a real ser2net on the loopback address, in front of the
// simulated camera's pseudo-terminal, as a camera on a serial device server
// is reached: over rfc2217:// and socket://, with the server refusing,
// missing, or killed in the middle of a write-all.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "file_formats.h"
#include "process.h"
#include "test_dir.h"

namespace vexq4::test {
namespace {

namespace fs = std::filesystem;
using cli::test::Process;
using cli::test::Result;
using cli::test::RunProgram;
using Clock = std::chrono::steady_clock;

const std::string kVexq4 = VEXQ4_EXE;
const std::string kSim = VEXQ4_SIM_EXE;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string FindSer2net() {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"}) {
    const fs::path path = fs::path(dir) / "ser2net";
    if (::access(path.c_str(), X_OK) == 0) return path.string();
  }
  return {};
}

// A TCP port of the loopback address that was free a moment ago.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// True once something listens on `port` of the loopback address. Looked
// up in the kernel's table rather than by connecting: a connection would
// make ser2net open the camera's line, and a client right after would find
// it still held.
bool Listening(int port) {
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string slot, address, remote, state;
    fields >> slot >> address >> remote >> state;
    if (address == local && state == "0A") return true;  // TCP_LISTEN
  }
  return false;
}

// The simulated camera on a pseudo-terminal, at its own pace or at once.
class Camera {
 public:
  explicit Camera(bool paced = false) {
    std::vector<std::string> argv{kSim};
    if (!paced) argv.insert(argv.end(), {"--no-pacing", "--latency", "1"});
    process_ = std::make_unique<Process>(argv);
    path_ = process_->ReadLine(5000);
  }
  const std::string& path() const { return path_; }

 private:
  std::unique_ptr<Process> process_;
  std::string path_;
};

// ser2net with a configuration of its own: the camera's line as an RFC 2217
// port and as a raw TCP port, on the loopback address only.
class Ser2net {
 public:
  // Without kickOldUser a second client is turned away ("Port already in
  // use") while the first holds the port.
  Ser2net(const std::string& program, const std::string& line, const fs::path& dir,
          bool kickOldUser = true)
      : rfc2217_(FreePort()), raw_(FreePort()) {
    const fs::path yaml = dir / "ser2net.yaml";
    std::ostringstream config;
    for (const auto& [name, accepter] :
         {std::pair{"camera-rfc2217", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(rfc2217_)},
          std::pair{"camera-raw", "tcp,127.0.0.1," + std::to_string(raw_)}}) {
      config << "connection: &" << name << "\n"
             << "  accepter: " << accepter << "\n"
             << "  connector: serialdev," << line << ",9600n81,local\n"
             << "  options:\n"
             << "    kickolduser: " << (kickOldUser ? "true" : "false") << "\n"
             << "    mdns: false\n";
    }
    vexq4::testing::WriteFile(yaml, config.str());
    process_ = std::make_unique<Process>(std::vector<std::string>{
        program, "-n", "-u", "-c", yaml.string(), "-P", (dir / "ser2net.pid").string()});
    const auto start = Clock::now();
    while (!ready() && MsSince(start) < 10000)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  bool ready() const { return Listening(rfc2217_) && Listening(raw_); }
  std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217_); }
  std::string Socket() const { return "socket://127.0.0.1:" + std::to_string(raw_); }
  std::string RawAsRfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(raw_); }
  int rfc2217Port() const { return rfc2217_; }
  int rawPort() const { return raw_; }
  void Kill() { process_->Kill(SIGKILL); }

 private:
  int rfc2217_;
  int raw_;
  std::unique_ptr<Process> process_;
};

class Ser2netTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = FindSer2net();
    if (program_.empty()) GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
  }
  // A camera and ser2net in front of it.
  void Start(bool paced = false, bool kickOldUser = true) {
    camera_ = std::make_unique<Camera>(paced);
    ASSERT_FALSE(camera_->path().empty());
    server_ = std::make_unique<Ser2net>(program_, camera_->path(), dir_.path(), kickOldUser);
    ASSERT_TRUE(server_->ready()) << "ser2net did not start";
  }
  Result Vexq4(const std::string& device, std::vector<std::string> args,
               const std::string& input = "") {
    std::vector<std::string> argv{kVexq4, "--device", device, "--no-progress"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, input, 90000);
  }

  std::string program_;
  vexq4::testing::TestDir dir_{"vexq4-ser2net"};
  std::unique_ptr<Camera> camera_;
  std::unique_ptr<Ser2net> server_;
};

// A shading table whose values put 0xFF, CR, LF and NUL bytes in the
// binary frame, next to each other too.
std::array<int, model::kShadingValues> AwkwardTable() {
  constexpr std::array<int, 9> kAwkward{0xFFFF, 0xFF00, 0x00FF, 0x0DFF, 0xFF0D,
                                        0x0D0A, 0x0D00, 0xFFFE, 0x1311};
  std::array<int, model::kShadingValues> table{};
  for (std::size_t i = 0; i < table.size(); ++i)
    table[i] = i % 2 == 0 ? kAwkward[(i / 2) % kAwkward.size()] : static_cast<int>(4000 + i);
  return table;
}

// Every kind of exchange crosses ser2net, over both schemes: a read of
// every setting, commands, a settings file saved and loaded (a write-all),
// and a shading table with 0xFF bytes uploaded and read back bit-exact.
TEST_F(Ser2netTest, EveryExchangeCrossesBothSchemes) {
  Start();
  const fs::path table = dir_ / "awkward.csv";
  vexq4::testing::WriteFile(table, model::FormatShadingFile(AwkwardTable()));

  for (const std::string& device : {server_->Rfc2217(), server_->Socket()}) {
    SCOPED_TRACE(device);
    // Reads with the short drain of fast reads, to keep the test short (the
    // standard drain is timed below).
    const Result direct = Vexq4(camera_->path(), {"--fast-reads", "list"});
    ASSERT_EQ(direct.exitStatus, 0) << direct.err;
    const Result listed = Vexq4(device, {"--fast-reads", "list"});
    ASSERT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_EQ(listed.out, direct.out);

    const fs::path settings = dir_ / "line.cam";
    const fs::path saved = dir_ / "saved.csv";
    fs::remove(saved);
    const Result session =
        Vexq4(device, {"--fast-reads", "shell"},
              "set MasterGainLevel=123 BlueGainLevel=-7 'ShutterSpeedStr=1/250'\n"
              "save-settings " +
                  settings.string() +
                  "\n"
                  "shading-load " +
                  table.string() +
                  "\n"
                  "shading-save " +
                  saved.string() + "\n");
    ASSERT_EQ(session.exitStatus, 0) << session.err;
    EXPECT_EQ(vexq4::testing::ReadFile(saved), vexq4::testing::ReadFile(table));

    // The file written back to a camera changed meanwhile (on its own line).
    ASSERT_EQ(Vexq4(camera_->path(), {"set", "MasterGainLevel=0", "BlueGainLevel=0"}).exitStatus,
              0);
    const Result loaded = Vexq4(device, {"load-settings", settings.string()});
    ASSERT_EQ(loaded.exitStatus, 0) << loaded.err;
    const Result check =
        Vexq4(camera_->path(), {"get", "MasterGainLevel", "BlueGainLevel", "ShutterSpeedStr"});
    EXPECT_EQ(check.out, "MasterGainLevel=123\nBlueGainLevel=-7\nShutterSpeedStr=\"1/250\"\n");
  }
}

// ser2net killed in the middle of a write-all: vexq4 ends at once with
// status 1 and says the connection was lost; a settings file being saved
// when it happens keeps its old contents.
TEST_F(Ser2netTest, KilledServerEndsTheRunAtOnce) {
  Start();
  Process writeAll({kVexq4, "--device", server_->Rfc2217(), "--no-progress", "write-all"});
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));  // a few commands in
  server_->Kill();
  auto killed = Clock::now();
  Result r = writeAll.Wait(10000);
  EXPECT_LT(MsSince(killed), 2000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_TRUE(Has(r.err, "connection to " + server_->Rfc2217() + " lost")) << r.err;

  server_ = std::make_unique<Ser2net>(program_, camera_->path(), dir_.path());
  ASSERT_TRUE(server_->ready());
  const fs::path files = dir_ / "files";
  fs::create_directory(files);
  const fs::path settings = files / "kept.cam";
  vexq4::testing::WriteFile(settings, "[Main]\r\nkept=1\r\n");
  Process save({kVexq4, "--device", server_->Socket(), "--no-progress", "--standard-reads",
                "save-settings", settings.string()});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // reading the camera (4 s)
  server_->Kill();
  killed = Clock::now();
  r = save.Wait(10000);
  EXPECT_LT(MsSince(killed), 2000);
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_TRUE(Has(r.err, "lost")) << r.err;
  EXPECT_EQ(vexq4::testing::ReadFile(settings), "[Main]\r\nkept=1\r\n");
  EXPECT_EQ(vexq4::testing::CountEntries(files), 1);  // no temporary file left
}

// Nothing listening, and an RFC 2217 client at a raw TCP port: each ends
// with status 1 and a message naming the server and the cause.
TEST_F(Ser2netTest, ServersThatRefuse) {
  Start();
  const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(FreePort());
  Result r = Vexq4(nobody, {"list"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Has(r.err, nobody.substr(10) + ": connection refused")) << r.err;

  r = Vexq4(server_->RawAsRfc2217(), {"list"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(Has(r.err, "no RFC 2217 answer")) << r.err;
  EXPECT_TRUE(Has(r.err, "socket://")) << r.err;
  EXPECT_EQ(r.out, "");

  r = Vexq4("rfc2217://127.0.0.1", {"list"});
  EXPECT_EQ(r.exitStatus, 2);  // a malformed name is a usage error
  EXPECT_TRUE(Has(r.err, ":PORT")) << r.err;
}

// A plain TCP client of a port of the loopback address, holding it.
class Holder {
 public:
  explicit Holder(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Holder() { ::close(fd_); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  bool connected() const { return connected_; }

 private:
  int fd_;
  bool connected_ = false;
};

// A second client of a port in use is turned away by ser2net in its own
// words ("Port already in use"), and vexq4 passes them on over both
// schemes instead of a failure of its own making.
TEST_F(Ser2netTest, SecondClientHearsTheServersOwnWords) {
  Start(/*paced=*/false, /*kickOldUser=*/false);
  for (const auto& [device, port] : {std::pair{server_->Rfc2217(), server_->rfc2217Port()},
                                     std::pair{server_->Socket(), server_->rawPort()}}) {
    SCOPED_TRACE(device);
    // ser2net gives the camera's line up a moment after the last client
    // left, and opens it for the next.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const Holder first(port);
    ASSERT_TRUE(first.connected());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Result r = Vexq4(device, {"get", "MasterGainLevel"});
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "closed by the server")) << r.err;
    EXPECT_TRUE(Has(r.err, "(it said \"Port already in use\")")) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// The network costs next to nothing: a read of every setting with the
// standard reads over rfc2217:// through ser2net takes at most 1.05 times
// as long as on the pseudo-terminal itself, side by side on one camera
// answering at its own pace (the better of two runs each, so that a
// moment's load on the machine is not counted against either). With fast
// reads the server's few milliseconds per exchange weigh more
// (docs/performance.md).
TEST_F(Ser2netTest, ReadAllOverTheNetworkTakesAboutAsLong) {
  Start(/*paced=*/true);
  double best[2] = {1e9, 1e9};
  const std::string devices[2] = {camera_->path(), server_->Rfc2217()};
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 2; ++i) {
      const auto start = Clock::now();
      const Result r = Vexq4(devices[i], {"--standard-reads", "read-all"});
      const double ms = static_cast<double>(MsSince(start));
      ASSERT_EQ(r.exitStatus, 0) << r.err;
      best[i] = std::min(best[i], ms);
    }
  }
  std::printf("read-all: pseudo-terminal %.0f ms, rfc2217 through ser2net %.0f ms, ratio %.3f\n",
              best[0], best[1], best[1] / best[0]);
  RecordProperty("pty_ms", std::to_string(best[0]));
  RecordProperty("rfc2217_ms", std::to_string(best[1]));
  EXPECT_LE(best[1], 1.05 * best[0]);
}

}  // namespace
}  // namespace vexq4::test
