// vexq4-bench --lines: vexq4 itself on every kind of line the camera is
// reached by, with fast reads (the default) and with --standard-reads,
// beside the line's own limit.
//
// One simulated camera is served in this process on a pseudo-terminal in
// real time (9600-baud pacing, default latency). The vexq4 built beside
// this program runs as a child, as a script runs it, once per operation:
// directly on the pseudo-terminal, through ser2net (rfc2217:// and
// socket://, on the loopback address), through linkport and the simulated
// grabber's vendor library (Camera Link 2.0, and 1.0 without a flush), and
// through the simulated libclallserial.so. Each run's time is the child's
// whole life, connection and probe included; its limit is computed from
// what the camera received in that run (timeline.h): every byte both ways
// at 9600 baud, the camera's answer time and the 600 ms it needs after a
// command.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "timeline.h"
#include "vexq4/model/VexCamInterface.h"
#include "vexq4/sim/pty_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace vexq4;

// The Camera Link paths take at most this much longer than the serial line.
constexpr double kCameraLinkTarget = 1.05;
constexpr double kStandardDrainMs = 101;
constexpr double kFastDrainMs = CVexCamInterface::kFastReadsDrainMs;

double Seconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A child with `args` and the environment changed by `env`; its exit
// status, its standard error in `err`.
int Spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
          const fs::path& errFile, pid_t* started = nullptr) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!env.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return 127;
  if (started) {
    *started = pid;
    return 0;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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

// Something listens on `port` of the loopback address (asked of the
// kernel's table: a connection would make ser2net open the line).
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

// ser2net in front of the camera's line, as an RFC 2217 port and a raw
// TCP port on the loopback address; not started when not installed.
class Ser2net {
 public:
  Ser2net(const std::string& line, const fs::path& dir) : rfc2217_(FreePort()), raw_(FreePort()) {
    std::string program;
    for (const char* d : {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"})
      if (::access((fs::path(d) / "ser2net").c_str(), X_OK) == 0) program = fs::path(d) / "ser2net";
    if (program.empty()) return;
    std::ofstream config(dir / "ser2net.yaml");
    for (const auto& [name, accepter] :
         {std::pair{"camera-rfc2217", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(rfc2217_)},
          std::pair{"camera-raw", "tcp,127.0.0.1," + std::to_string(raw_)}}) {
      config << "connection: &" << name << "\n  accepter: " << accepter
             << "\n  connector: serialdev," << line << ",9600n81,local\n"
             << "  options:\n    kickolduser: true\n    mdns: false\n";
    }
    config.close();
    Spawn({program, "-n", "-u", "-c", (dir / "ser2net.yaml").string(), "-P",
           (dir / "ser2net.pid").string()},
          {}, dir / "ser2net.err", &pid_);
    for (int i = 0; i < 500 && !(Listening(rfc2217_) && Listening(raw_)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~Ser2net() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;
  bool ready() const { return pid_ > 0 && Listening(rfc2217_) && Listening(raw_); }
  std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217_); }
  std::string Socket() const { return "socket://127.0.0.1:" + std::to_string(raw_); }

 private:
  int rfc2217_;
  int raw_;
  pid_t pid_ = -1;
};

struct Line {
  std::string name;
  std::vector<std::string> args;  // vexq4's connection option
  std::map<std::string, std::string> env;
  bool standardToo = true;  // also measured with --standard-reads
};

struct Result {
  double wallS = 0;
  double limitS = 0;
  int status = 0;
};

class LineBench {
 public:
  LineBench(fs::path vexq4, fs::path dir) : vexq4_(std::move(vexq4)), dir_(std::move(dir)) {}

  sim::PtyServer& server() { return server_; }

  // `vexq4 --no-progress LINE [--standard-reads] OPERATION...`, `runs`
  // times; the mean time and limit.
  Result Measure(const Line& line, bool standard, const std::vector<std::string>& operation,
                 int runs) {
    Result result;
    for (int i = 0; i < runs; ++i) {
      // Past the command gap, and ser2net has let the line go.
      std::this_thread::sleep_for(std::chrono::milliseconds(700));
      sim::SimCamera replica = Snapshot();
      std::vector<std::string> args{vexq4_.string(), "--no-progress"};
      args.insert(args.end(), line.args.begin(), line.args.end());
      if (standard) args.push_back("--standard-reads");
      args.insert(args.end(), operation.begin(), operation.end());
      const double start = Seconds();
      const int status = Spawn(args, line.env, dir_ / "vexq4.err");
      result.wallS += Seconds() - start;
      if (status != 0) {
        result.status = status;
        std::fprintf(stderr, "vexq4-bench: %s: %s", line.name.c_str(),
                     ReadText(dir_ / "vexq4.err").c_str());
      }
      std::vector<sim::ReceivedLine> log;
      {
        auto camera = server_.camera();
        log = camera->log();
      }
      std::size_t exchanges = 0;
      result.limitS += bench::MinimumOf(std::move(replica), log,
                                        standard ? kStandardDrainMs : kFastDrainMs, &exchanges)
                           .limitMs /
                       1000;
    }
    result.wallS /= runs;
    result.limitS /= runs;
    return result;
  }

 private:
  // The camera as it is now, for the replay; its log starts afresh.
  sim::SimCamera Snapshot() {
    auto camera = server_.camera();
    camera->ClearLog();
    sim::SimCamera copy(camera->config());
    copy.shadingTable() = camera->shadingTable();
    return copy;
  }

  fs::path vexq4_;
  fs::path dir_;
  sim::PtyServer server_;
};

struct Operation {
  const char* name;
  std::vector<std::string> args;
  bool repeated;  // the short ones: a mean of several runs
};

}  // namespace

int RunLines(int runs, bool check) {
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path lib = bin.parent_path() / "lib";
  const fs::path dir = fs::temp_directory_path() / ("vexq4-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  LineBench bench(bin / "vexq4", dir);
  std::string error;
  if (!bench.server().Start(&error)) {
    std::fprintf(stderr, "vexq4-bench: cannot serve the simulated camera: %s\n", error.c_str());
    return 1;
  }
  const std::string pty = bench.server().slavePath();
  const std::string file = (dir / "line3.cam").string();
  const Line serial{"serial line (pty)", {"--device", pty}, {}};
  if (bench.Measure(serial, false, {"save-settings", file}, 1).status != 0) return 1;

  std::vector<Line> lines{
      serial,
      {"linkport (Camera Link 2.0)",
       {"--grabber", "1"},
       {{"VEXQ4_SYSTEM_DIR", (lib / "cameralink").string()}, {"VEXQ4_CLSERSIM_DEVICE", pty}}},
      {"linkport (Camera Link 1.0)",
       {"--grabber", "1"},
       {{"VEXQ4_SYSTEM_DIR", (lib / "cameralink-1.0").string()}, {"VEXQ4_CLSERSIM_DEVICE", pty}},
       false},
      {"clallserial",
       {"--clallserial", "0"},
       {{"LD_LIBRARY_PATH", (lib / "cameralink").string()}, {"VEXQ4_CLALLSERIAL_DEVICE0", pty}}},
  };
  Ser2net ser2net(pty, dir);
  if (ser2net.ready()) {
    lines.push_back({"rfc2217 (ser2net)", {"--device", ser2net.Rfc2217()}, {}});
    lines.push_back({"socket (ser2net)", {"--device", ser2net.Socket()}, {}});
  } else {
    std::fprintf(stderr, "vexq4-bench: ser2net not found or not started: no network lines\n");
  }
  const std::vector<Operation> operations{{"read-all", {"read-all"}, true},
                                          {"identity", {"identity"}, true},
                                          {"write-all", {"write-all"}, false},
                                          {"load-settings", {"load-settings", file}, false}};

  std::printf("vexq4 on each line; simulated camera at 9600 baud, answers after 5 ms; seconds\n");
  std::printf("%-27s %-14s %7s %9s %7s %10s %9s %11s\n", "line", "operation", "fast", "standard",
              "limit", "fast/limit", "std/limit", "fast/serial");
  std::map<std::string, double> serialFast;
  bool missed = false;
  for (const Line& line : lines) {
    for (const Operation& op : operations) {
      std::fprintf(stderr, "  %s, %s...\n", line.name.c_str(), op.name);
      const int n = op.repeated ? runs : 1;
      const Result fast = bench.Measure(line, false, op.args, n);
      const Result standard = line.standardToo ? bench.Measure(line, true, op.args, n) : Result{};
      if (&line == &lines.front()) serialFast[op.name] = fast.wallS;
      const double vsSerial = fast.wallS / serialFast[op.name];
      const bool cameraLink = line.args.front() != "--device";
      const bool miss =
          fast.status != 0 || standard.status != 0 || (cameraLink && vsSerial > kCameraLinkTarget);
      missed |= miss;
      char standardText[16] = "-";
      char stdRatio[16] = "-";
      if (line.standardToo) {
        std::snprintf(standardText, sizeof standardText, "%.3f", standard.wallS);
        std::snprintf(stdRatio, sizeof stdRatio, "%.2f", standard.wallS / fast.limitS);
      }
      std::printf("%-27s %-14s %7.3f %9s %7.3f %10.2f %9s %11.3f%s\n", line.name.c_str(), op.name,
                  fast.wallS, standardText, fast.limitS, fast.wallS / fast.limitS, stdRatio,
                  vsSerial, miss ? "  <- misses a target" : "");
      std::fflush(stdout);
    }
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return check && missed ? 1 : 0;
}
