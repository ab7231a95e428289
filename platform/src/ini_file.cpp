#include "vexq4/platform/ini_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "release.h"
#include "vexq4/platform/abandon.h"

namespace vexq4::platform {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The name of a section header line, or nullopt for any other line.
// `firstLine`: the line opens the file, where editors put a UTF-8 byte
// order mark; anywhere else those bytes are text (a key may begin with
// them, and must not turn into a header).
std::optional<std::string_view> SectionName(std::string_view line, bool firstLine) {
  if (firstLine && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  const auto close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  return Trim(line);
}

struct KeyValue {
  std::string_view key;
  std::string_view value;
};

// A "key=value" line; comments (";" or "#") and lines without "=" are none.
std::optional<KeyValue> SplitKeyValue(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return std::nullopt;
  const auto eq = trimmed.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyValue{Trim(trimmed.substr(0, eq)), Trim(trimmed.substr(eq + 1))};
}

bool HasLineBreaker(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool ReadWholeFile(const fs::path& path, std::string& out, bool& missing) {
  missing = false;
  out.clear();
  const int fd = OpenRegularFileForReading(path);
  if (fd < 0) {
    missing = (errno == ENOENT || errno == ENOTDIR);
    return false;
  }
  char buffer[8192];
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && static_cast<std::uintmax_t>(st.st_size) <= kProfileFileMax;
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
      ok = out.size() <= kProfileFileMax;  // it grew while we read
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ok = false;  // EISDIR and friends
      break;
    }
  }
  ::close(fd);
  if (!ok) out.clear();
  return ok;
}

std::atomic<unsigned> g_tempCounter{0};

// Temporary files of atomic files not yet committed or abandoned, so that a
// program that must end at once removes them too (ReleaseForExit).
std::mutex g_tempFilesMutex;
std::set<std::string> g_tempFiles;

void NoteTempFile(const fs::path& temp, bool open) {
  std::lock_guard lock(g_tempFilesMutex);
  if (open)
    g_tempFiles.insert(temp.string());
  else
    g_tempFiles.erase(temp.string());
}

// Links followed to the file a save replaces, as the kernel's limit.
constexpr int kMaxSymlinkHops = 40;

}  // namespace

// ---------------------------------------------------------------------------
// ProfileDocument

bool ProfileDocument::Load(const fs::path& path) {
  std::string text;
  bool missing = false;
  const bool ok = ReadWholeFile(path, text, missing);
  Parse(text);
  return ok || missing;
}

void ProfileDocument::Parse(std::string_view text) {
  lines_.clear();
  while (!text.empty()) {
    const auto lf = text.find('\n');
    std::string_view body = text.substr(0, lf);
    if (lf != std::string_view::npos && !body.empty() && body.back() == '\r') body.remove_suffix(1);
    lines_.emplace_back(body);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
}

std::optional<std::size_t> ProfileDocument::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i], i == 0);
    if (name && SameName(*name, section)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ProfileDocument::FindKey(std::size_t header,
                                                    std::string_view key) const {
  for (std::size_t i = header + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], false)) break;
    const auto kv = SplitKeyValue(lines_[i]);
    if (kv && SameName(kv->key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> ProfileDocument::Get(std::string_view section,
                                                std::string_view key) const {
  const std::string_view wantSection = Trim(section);
  const std::string_view wantKey = Trim(key);
  const auto header = FindSection(wantSection);
  if (!header) return std::nullopt;
  const auto at = FindKey(*header, wantKey);
  if (!at) return std::nullopt;
  const std::string_view value = SplitKeyValue(lines_[*at])->value;
  return std::string(value.substr(0, kProfileValueMax));
}

bool ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  key = Trim(key);
  // The section must read back as itself: its header line is trimmed and
  // ends at the first "]". A key line must not read as a header or a
  // comment, nor split at another "=".
  if (section.empty() || Trim(section) != section || key.empty() || HasLineBreaker(section) ||
      HasLineBreaker(key) || HasLineBreaker(value) || key.find('=') != std::string_view::npos ||
      section.find(']') != std::string_view::npos || key.front() == '[' || key.front() == ';' ||
      key.front() == '#') {
    return false;
  }
  std::string text;
  text.reserve(key.size() + 1 + value.size());
  text.append(key).append("=").append(value);

  const auto header = FindSection(section);
  if (!header) {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(text));
    return true;
  }
  if (const auto at = FindKey(*header, key)) {
    lines_[*at] = std::move(text);
    return true;
  }
  // After the section's last non-blank line, so blank lines that separate
  // it from the next section stay where they are.
  std::size_t insertAfter = *header;
  for (std::size_t i = *header + 1; i < lines_.size() && !SectionName(lines_[i], false); ++i) {
    if (!Trim(lines_[i]).empty()) insertAfter = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter + 1), std::move(text));
  return true;
}

std::string ProfileDocument::Text() const {
  std::size_t size = 0;
  for (const std::string& line : lines_) size += line.size() + kCrLf.size();
  std::string out;
  out.reserve(size);
  for (const std::string& line : lines_) out.append(line).append(kCrLf);
  return out;
}

bool ProfileDocument::Save(const fs::path& path) const { return WriteFileAtomically(path, Text()); }

// ---------------------------------------------------------------------------
// Free functions

std::string GetProfileString(const fs::path& path, std::string_view section, std::string_view key,
                             std::string_view defaultValue) {
  ProfileDocument doc;
  doc.Load(path);
  if (auto value = doc.Get(section, key)) return std::move(*value);
  return std::string(defaultValue.substr(0, kProfileValueMax));
}

int GetProfileInt(const fs::path& path, std::string_view section, std::string_view key,
                  int defaultValue) {
  ProfileDocument doc;
  doc.Load(path);
  const auto value = doc.Get(section, key);
  if (!value) return defaultValue;
  return LeadingNumber(*value).value_or(defaultValue);
}

bool WriteProfileString(const fs::path& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  ProfileDocument doc;
  // An unreadable existing file must not be replaced by a nearly empty one.
  if (!doc.Load(path)) return false;
  if (!doc.Set(section, key, value)) return false;
  return doc.Save(path);
}

std::optional<unsigned> PlainNumber(std::string_view text, unsigned max) {
  const std::size_t width = std::to_string(max).size();
  if (text.empty() || text.size() > width) return std::nullopt;
  unsigned long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > max) return std::nullopt;
  }
  return static_cast<unsigned>(value);
}

std::optional<int> LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (IsBlank(text[i]) || text[i] == '\r' || text[i] == '\n' ||
                             text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1)
      magnitude = magnitude * 10 + (text[i] - '0');
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

fs::path ProfileDirectory() {
  auto env = [](const char* name) -> const char* {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
  };
  if (const char* dir = env("VEXQ4_PROFILE_DIR")) return dir;
  if (const char* dir = env("XDG_CONFIG_HOME")) return dir;
  if (const char* home = env("HOME")) return fs::path(home) / ".config";
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) {
    return fs::path(pw->pw_dir) / ".config";
  }
  return fs::path(".config");
}

fs::path ModuleProfilePath() { return ProfileDirectory() / "XVexQ4.ini"; }

std::string GetModuleProfileString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) {
  return GetProfileString(ModuleProfilePath(), section, key, defaultValue);
}

int GetModuleProfileInt(std::string_view section, std::string_view key, int defaultValue) {
  return GetProfileInt(ModuleProfilePath(), section, key, defaultValue);
}

bool WriteModuleProfileString(std::string_view section, std::string_view key,
                              std::string_view value) {
  const fs::path path = ModuleProfilePath();
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);  // a failure shows in the write
  return WriteProfileString(path, section, key, value);
}

// ---------------------------------------------------------------------------
// AtomicFile

AtomicFile::~AtomicFile() { Abandon(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      failed_(other.failed_),
      target_(std::move(other.target_)),
      temp_(std::move(other.temp_)) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    Abandon();
    fd_ = std::exchange(other.fd_, -1);
    failed_ = other.failed_;
    target_ = std::move(other.target_);
    temp_ = std::move(other.temp_);
  }
  return *this;
}

bool AtomicFile::Open(const fs::path& path) {
  Abandon();
  failed_ = false;
  if (path.empty() || !path.has_filename() || AbandonRequested()) return false;
  target_ = path;
  std::error_code ec;
  // Replace the file at the end of a chain of symbolic links, not a link:
  // every link stays a link. A loop fails as open() would (ELOOP).
  for (int hops = 0; fs::is_symlink(target_, ec); ++hops) {
    if (hops == kMaxSymlinkHops) return false;
    const fs::path dest = fs::read_symlink(target_, ec);
    if (ec) return false;
    target_ = dest.is_absolute() ? dest : target_.parent_path() / dest;
  }
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (exists) {
    // A read-only or non-regular target stays as it is, as a plain write
    // into it would fail.
    if (!S_ISREG(old.st_mode) || ::access(target_.c_str(), W_OK) != 0) return false;
  }
  const std::string base = "." + target_.filename().string() + ".tmp-" + std::to_string(::getpid());
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = target_.parent_path() /
            (base + "-" + std::to_string(g_tempCounter.fetch_add(1, std::memory_order_relaxed)));
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST && errno != EINTR) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    return false;
  }
  NoteTempFile(temp_, true);
  if (exists) (void)::fchmod(fd_, old.st_mode & 07777);
  return true;
}

bool AtomicFile::Write(std::string_view bytes) {
  if (fd_ < 0 || failed_) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  // A program asked to stop keeps the old file rather than half the work.
  bool ok = !failed_ && !AbandonRequested() && ::fsync(fd_) == 0;
  ok = (::close(std::exchange(fd_, -1)) == 0) && ok;
  if (ok) ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
  NoteTempFile(temp_, false);
  if (!ok) {
    ::unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  // Make the rename itself durable; a failure here no longer loses data.
  const fs::path dir = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

void AtomicFile::Abandon() {
  if (fd_ >= 0) {
    ::close(std::exchange(fd_, -1));
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    NoteTempFile(temp_, false);
    temp_.clear();
  }
}

namespace detail {

void RemoveTemporaryFiles() {
  std::lock_guard lock(g_tempFilesMutex);
  for (const std::string& temp : g_tempFiles) ::unlink(temp.c_str());
  g_tempFiles.clear();
}

}  // namespace detail

int OpenRegularFileForReading(const fs::path& path) {
  int fd;
  do {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;  // a folder, FIFO or device: never an endless read
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

bool WriteFileAtomically(const fs::path& path, std::string_view bytes) {
  AtomicFile file;
  return file.Open(path) && file.Write(bytes) && file.Commit();
}

}  // namespace vexq4::platform
