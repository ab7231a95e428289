// The Camera Link serial dispatcher: finds the vendors' serial libraries when
// it is loaded, lists their manufacturers and forwards the standard serial
// calls to the one selected.
#include "linkport.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace {

using SerialInitFn = int32_t (*)(uint32_t, void**);
using SerialReadFn = int32_t (*)(void*, char*, uint32_t*, uint32_t);
using SerialWriteFn = int32_t (*)(void*, char*, uint32_t*, uint32_t);
using SerialCloseFn = void (*)(void*);
using GetManufacturerInfoFn = int32_t (*)(char*, uint32_t*, uint32_t*);
using GetSerialPortIdentifierFn = int32_t (*)(uint32_t, char*, uint32_t*);
using GetNumSerialPortsFn = int32_t (*)(uint32_t*);
using GetSupportedBaudRatesFn = int32_t (*)(void*, uint32_t*);
using SetBaudRateFn = int32_t (*)(void*, uint32_t);
using GetErrorTextFn = int32_t (*)(int32_t, char*, uint32_t*);
using FlushPortFn = int32_t (*)(void*);
using GetNumBytesAvailFn = int32_t (*)(void*, uint32_t*);

constexpr std::size_t kMaxRecords = 16;
// "libclser???.so" is 14 characters; the field keeps its NUL too.
constexpr std::size_t kFileNameSize = 16;
constexpr std::size_t kManufacturerNameSize = 100;
constexpr char kOwnFileName[] = "liblinkport.so";
constexpr const char* kPatterns[] = {"clser???.so", "libclser???.so"};
// The Camera Link version values: 1 none, 2 for 1.0, 3 for 1.1, ...
constexpr uint32_t kVersionNone = 1;
constexpr uint32_t kVersion1_0 = 2;

struct ManufacturerRecord {
  char fileName[kFileNameSize];
  char manufacturerName[kManufacturerNameSize];
  uint32_t nameSize;
  uint32_t version;
};

struct Selection {
  void* module;  // also held in Dispatcher::modules; never closed here
  int record;    // -1 when nothing is selected
  char fileName[kFileNameSize];
  uint32_t version;
  SerialInitFn serialInit;
  SerialReadFn serialRead;
  SerialWriteFn serialWrite;
  SerialCloseFn serialClose;
  GetManufacturerInfoFn getManufacturerInfo;
  GetSerialPortIdentifierFn getSerialPortIdentifier;
  GetNumSerialPortsFn getNumSerialPorts;
  GetSupportedBaudRatesFn getSupportedBaudRates;
  SetBaudRateFn setBaudRate;
  GetErrorTextFn getErrorText;
  // Camera Link 1.1: null when the library lacks them.
  FlushPortFn flushPort;
  GetNumBytesAvailFn getNumBytesAvail;
};

// All state is plain data: it is built by the load-time constructor and torn
// down by the unload-time destructor below, so no C++ destructor of ours runs
// in an order we do not control.
struct Dispatcher {
  char systemDir[PATH_MAX];
  ManufacturerRecord records[kMaxRecords];
  uint32_t count;
  // A vendor library stays loaded from its first selection until linkport is
  // unloaded: serial references opened through an earlier selection must not
  // point into unmapped code.
  void* modules[kMaxRecords];
  Selection selection;
};
static_assert(std::is_trivially_destructible_v<Dispatcher>);

Dispatcher g;

void ClearSelection() {
  g.selection = Selection{};
  g.selection.record = -1;
}

// A library loaded only for the time of one look at it.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(const std::string& path)
      : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~ScopedLibrary() {
    if (handle_) dlclose(handle_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  explicit operator bool() const { return handle_ != nullptr; }
  template <typename Fn>
  Fn Find(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

template <typename Fn>
bool Resolve(void* module, const char* name, Fn& out) {
  out = reinterpret_cast<Fn>(dlsym(module, name));
  return out != nullptr;
}

template <std::size_t N>
void CopyText(char (&dest)[N], std::string_view text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

std::string SystemDirectory() {
  if (const char* dir = std::getenv("VEXQ4_SYSTEM_DIR"); dir && *dir) return dir;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&clGetNumManufacturers), &info) && info.dli_fname) {
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
  }
  return ".";
}

// Matched byte by byte, whatever locale the host program set: each '?'
// stands for exactly one byte, as the file-name field is sized for.
bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (pattern.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (pattern[i] != '?' && pattern[i] != name[i]) return false;
  }
  return true;
}

bool IsVendorFileName(const char* name) {
  if (std::strcmp(name, kOwnFileName) == 0) return false;
  for (const char* pattern : kPatterns) {
    if (MatchesPattern(pattern, name)) return true;
  }
  return false;
}

std::vector<std::string> ListVendorFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.c_str()), &closedir);
  if (!listing) return names;
  while (const dirent* entry = readdir(listing.get())) {
    if (entry->d_type == DT_DIR) continue;
    if (IsVendorFileName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  // std::string compares its characters as unsigned bytes.
  std::sort(names.begin(), names.end());
  // The table holds 16; any further libraries are ignored.
  if (names.size() > kMaxRecords) names.resize(kMaxRecords);
  return names;
}

std::string PathOf(const char* fileName) {
  std::string path = g.systemDir;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + fileName;
}

void AddRecord(const std::string& fileName, std::string_view name, uint32_t nameSize,
               uint32_t version) {
  ManufacturerRecord& record = g.records[g.count++];
  CopyText(record.fileName, fileName);
  CopyText(record.manufacturerName, name);
  // The size is the vendor's, but never less than the name we keep and its
  // NUL: clGetManufacturer copies the whole name into a buffer of that size.
  const auto needed = static_cast<uint32_t>(std::strlen(record.manufacturerName) + 1);
  record.nameSize = std::max(nameSize, needed);
  record.version = version;
}

void Discover() {
  ClearSelection();
  g.count = 0;
  const std::string dir = SystemDirectory();
  if (dir.size() >= sizeof g.systemDir) return;
  CopyText(g.systemDir, dir);

  for (const std::string& fileName : ListVendorFiles(dir)) {
    ScopedLibrary library(PathOf(fileName.c_str()));
    if (!library) {
      const char* error = dlerror();
      std::fprintf(stderr, "Error: %s\n", error ? error : fileName.c_str());
      break;
    }
    if (auto info = library.Find<GetManufacturerInfoFn>("clGetManufacturerInfo")) {
      char name[kManufacturerNameSize] = {};
      uint32_t size = sizeof name;
      uint32_t version = 0;
      info(name, &size, &version);
      name[sizeof name - 1] = '\0';  // a vendor that forgot the NUL
      AddRecord(fileName, name, size, version);
    } else if (library.Find<SerialInitFn>("clSerialInit")) {
      AddRecord(fileName, fileName, static_cast<uint32_t>(fileName.size() + 1), kVersionNone);
    }
  }
}

bool ResolveSelection(void* module, uint32_t version) {
  Selection& s = g.selection;
  if (!Resolve(module, "clSerialInit", s.serialInit) ||
      !Resolve(module, "clSerialRead", s.serialRead) ||
      !Resolve(module, "clSerialWrite", s.serialWrite) ||
      !Resolve(module, "clSerialClose", s.serialClose)) {
    return false;
  }
  // Optional: a library without them is still usable, read by read.
  Resolve(module, "clFlushPort", s.flushPort);
  Resolve(module, "clGetNumBytesAvail", s.getNumBytesAvail);
  if (version < kVersion1_0) return true;
  return Resolve(module, "clGetManufacturerInfo", s.getManufacturerInfo) &&
         Resolve(module, "clGetSerialPortIdentifier", s.getSerialPortIdentifier) &&
         Resolve(module, "clGetNumSerialPorts", s.getNumSerialPorts) &&
         Resolve(module, "clGetSupportedBaudRates", s.getSupportedBaudRates) &&
         Resolve(module, "clSetBaudRate", s.setBaudRate) &&
         Resolve(module, "clGetErrorText", s.getErrorText);
}

bool VersionedCallsAllowed() {
  return g.selection.record >= 0 && g.selection.version >= kVersion1_0;
}

__attribute__((constructor)) void LoadLinkport() { Discover(); }

__attribute__((destructor)) void UnloadLinkport() {
  ClearSelection();
  for (void*& module : g.modules) {
    if (module) dlclose(module);
    module = nullptr;
  }
}

}  // namespace

extern "C" {

int32_t clGetNumManufacturers(uint32_t* count) {
  if (!count) return CL_ERR_BUFFER_TOO_SMALL;
  *count = g.count;
  return CL_ERR_NO_ERR;
}

int32_t clGetManufacturer(uint32_t index, char* name, uint32_t* size, uint32_t* version) {
  if (index >= g.count) return CL_ERR_INVALID_INDEX;
  if (!size) return CL_ERR_BUFFER_TOO_SMALL;
  const ManufacturerRecord& record = g.records[index];
  if (*size < record.nameSize || !name || !version) {
    *size = record.nameSize;
    return CL_ERR_BUFFER_TOO_SMALL;
  }
  std::memcpy(name, record.manufacturerName, std::strlen(record.manufacturerName) + 1);
  *size = record.nameSize;
  *version = record.version;
  return CL_ERR_NO_ERR;
}

int32_t clSelectManufacturer(const char* name) {
  if (!name) return CL_ERR_MANU_DOES_NOT_EXIST;
  uint32_t chosen = 0;
  while (chosen < g.count && std::strcmp(g.records[chosen].fileName, name) != 0 &&
         std::strcmp(g.records[chosen].manufacturerName, name) != 0) {
    ++chosen;
  }
  if (chosen == g.count) return CL_ERR_MANU_DOES_NOT_EXIST;
  const ManufacturerRecord& record = g.records[chosen];
  if (g.selection.record >= 0 && std::strcmp(record.fileName, g.selection.fileName) == 0) {
    return CL_ERR_NO_ERR;
  }

  ClearSelection();
  void*& module = g.modules[chosen];
  if (!module) module = dlopen(PathOf(record.fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  // A library that vanished since discovery has none of the functions either.
  if (!module || !ResolveSelection(module, record.version)) {
    if (module) dlclose(module);
    module = nullptr;
    ClearSelection();
    return CL_ERR_FUNCTION_NOT_FOUND;
  }
  g.selection.module = module;
  g.selection.record = static_cast<int>(chosen);
  CopyText(g.selection.fileName, record.fileName);
  g.selection.version = record.version;
  return CL_ERR_NO_ERR;
}

int32_t clSerialInit(uint32_t serialIndex, void** serialRefPtr) {
  if (!g.selection.serialInit) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.serialInit(serialIndex, serialRefPtr);
}

int32_t clSerialRead(void* serialRef, char* buffer, uint32_t* bufferSize, uint32_t serialTimeout) {
  if (!g.selection.serialRead) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.serialRead(serialRef, buffer, bufferSize, serialTimeout);
}

int32_t clSerialWrite(void* serialRef, char* buffer, uint32_t* bufferSize, uint32_t serialTimeout) {
  if (!g.selection.serialWrite) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.serialWrite(serialRef, buffer, bufferSize, serialTimeout);
}

void clSerialClose(void* serialRef) {
  if (g.selection.serialClose) g.selection.serialClose(serialRef);
}

int32_t clGetErrorText(int32_t errorCode, char* errorText, uint32_t* errorTextSize) {
  if (!g.selection.getErrorText) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.getErrorText(errorCode, errorText, errorTextSize);
}

int32_t clGetNumSerialPorts(uint32_t* numSerialPorts) {
  if (!VersionedCallsAllowed()) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.getNumSerialPorts(numSerialPorts);
}

int32_t clGetSerialPortIdentifier(uint32_t serialIndex, char* type, uint32_t* bufferSize) {
  if (!VersionedCallsAllowed()) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.getSerialPortIdentifier(serialIndex, type, bufferSize);
}

int32_t clGetSupportedBaudRates(void* serialRef, uint32_t* baudRates) {
  if (!VersionedCallsAllowed()) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.getSupportedBaudRates(serialRef, baudRates);
}

int32_t clSetBaudRate(void* serialRef, uint32_t baudRate) {
  if (!VersionedCallsAllowed()) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.setBaudRate(serialRef, baudRate);
}

int32_t clFlushPort(void* serialRef) {
  if (!g.selection.flushPort) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.flushPort(serialRef);
}

int32_t clGetNumBytesAvail(void* serialRef, uint32_t* numBytes) {
  if (!g.selection.getNumBytesAvail) return CL_ERR_FUNCTION_NOT_FOUND;
  return g.selection.getNumBytesAvail(serialRef, numBytes);
}

}  // extern "C"
