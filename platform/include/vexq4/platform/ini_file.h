// Profile (INI) files: the settings files of the camera and the module's own
// profile XVexQ4.ini.
//
// Format: a line "[Section]" opens a section, "key=value" lines hold values;
// a UTF-8 byte order mark is skipped on the first line of a file only.
// Section and key names are compared without regard to ASCII case; names and
// values are trimmed of surrounding blanks (spaces and tabs). Files are read
// with CR LF or LF line ends and written with CR LF (every line, so a file
// from another tool comes back in one line-end style). A write changes only
// the line of its key (or adds the key, or the section and the key) and
// keeps the text of every other line: comments, blank lines, foreign
// sections and unknown keys survive. Every save replaces the file atomically (a temporary
// file beside it, fsync, rename), so a failed save leaves the old file whole.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexq4::platform {

// Longest value a read returns (the 255-byte buffers of the profile API).
inline constexpr std::size_t kProfileValueMax = 254;

// Largest file read as a profile: settings files and the module's profile
// are a few kilobytes; a larger file is not read into memory at all.
inline constexpr std::size_t kProfileFileMax = 1024 * 1024;

// One profile file in memory. Load it, read and change keys, save it once.
// Lines the document does not touch keep their text as it was read.
class ProfileDocument {
 public:
  ProfileDocument() = default;

  // Reads `path`. A missing file gives an empty document and true; an
  // unreadable one (a directory, a FIFO, no permission, larger than
  // kProfileFileMax) gives an empty document and false.
  bool Load(const std::filesystem::path& path);
  // Parses `text` as the contents of a file.
  void Parse(std::string_view text);

  // The trimmed value of `key` in `section` (first match of each), cut to
  // kProfileValueMax characters; nullopt when the section or key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Sets `key` in `section`: replaces the first existing line of the key, or
  // adds the key after the last non-blank line of the section, or adds the
  // section at the end. False (and no change) for names or values that would
  // not read back as written: an empty section or key, a CR, LF or NUL
  // anywhere, "=" in a key, a key that (trimmed) begins with "[", ";" or
  // "#", and a section name with "]" or with leading or trailing blanks.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  // The file's bytes as Save writes them.
  std::string Text() const;

  // Writes the document to `path` atomically. False when the file cannot be
  // written; `path` then keeps its old contents (or stays absent).
  bool Save(const std::filesystem::path& path) const;

 private:
  // Index of the section's header line, or nullopt.
  std::optional<std::size_t> FindSection(std::string_view section) const;
  // Index of the key's line inside the section that starts at `header`.
  std::optional<std::size_t> FindKey(std::size_t header, std::string_view key) const;

  std::vector<std::string> lines_;  // without their line ends
};

// GetPrivateProfileString-like: the value, or `defaultValue` (also cut to
// kProfileValueMax characters) when the file, section or key is missing.
std::string GetProfileString(const std::filesystem::path& path, std::string_view section,
                             std::string_view key, std::string_view defaultValue);

// GetPrivateProfileInt-like: the value's leading decimal number (blanks
// skipped, optional sign, saturated to the int range); `defaultValue` when
// the key is missing or its value does not begin with a number.
int GetProfileInt(const std::filesystem::path& path, std::string_view section, std::string_view key,
                  int defaultValue);

// WritePrivateProfileString-like: one key, one atomic replacement of the
// file (created when missing). False on a refused name or value or when the
// file cannot be written.
bool WriteProfileString(const std::filesystem::path& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Leading decimal number of `text` as the profile functions and the file
// readers take it: blanks skipped, optional sign, digits up to the first
// non-digit, saturated to the int range. nullopt when no digit follows.
std::optional<int> LeadingNumber(std::string_view text);

// `text` as a plain decimal number, digits only (no blanks, sign or unit)
// and no more of them than `max` has, of at most `max`; nullopt otherwise. For what users type into variables
// and device names, where anything odd is refused rather than guessed at.
std::optional<unsigned> PlainNumber(std::string_view text, unsigned max);

// The folder that holds the module's profile: $VEXQ4_PROFILE_DIR, else
// $XDG_CONFIG_HOME, else $HOME/.config (empty variables count as unset).
std::filesystem::path ProfileDirectory();

// ProfileDirectory() / "XVexQ4.ini".
std::filesystem::path ModuleProfilePath();

// The module's profile, read and written like the functions above. The
// write creates the profile folder when it is missing.
std::string GetModuleProfileString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue);
int GetModuleProfileInt(std::string_view section, std::string_view key, int defaultValue);
bool WriteModuleProfileString(std::string_view section, std::string_view key,
                              std::string_view value);

// A file replaced atomically. Open creates a temporary file in the target's
// folder (so a target that cannot be written fails before any other work),
// Write appends to it, Commit fsyncs it and renames it over the target. A
// chain of symbolic links is followed to the file at its end, so every link
// stays a link. Without a successful Commit the temporary file is removed
// and the target is untouched.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool Open(const std::filesystem::path& path);
  bool Write(std::string_view bytes);
  bool Commit();
  // Drops the temporary file; the target stays as it was.
  void Abandon();
  bool is_open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  bool failed_ = false;
  std::filesystem::path target_;
  std::filesystem::path temp_;
};

// Opens `path` for reading when it is a regular file: a descriptor to
// close, or -1 with errno set (ENOENT when missing, EINVAL for a folder,
// FIFO or device, which could block or never end).
int OpenRegularFileForReading(const std::filesystem::path& path);

// Replaces `path` with `bytes` through an AtomicFile. False on any failure.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace vexq4::platform
