// Where the library looks for the Camera Link libraries it loads at run
// time (library_search.h).
#include "library_search.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

namespace vexq4::comm::cameralink {
namespace {

// The directory of the object this code lives in: libVexQ4Comm.so, or the
// executable when the library is linked in statically.
std::string OwnDirectory() {
  Dl_info info{};
  link_map* map = nullptr;
  if (!dladdr1(reinterpret_cast<void*>(&OwnDirectory), &info, reinterpret_cast<void**>(&map),
               RTLD_DL_LINKMAP)) {
    return {};
  }
  std::string path = map && map->l_name && map->l_name[0] ? map->l_name : "";
  if (path.empty()) {  // the main program
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    path.assign(exe, static_cast<std::size_t>(n));
  }
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash + 1);
}

// The folders the dynamic loader searches for our own object's
// dependencies, in its order (LD_LIBRARY_PATH, our run path with $ORIGIN
// filled in, the system's). A dlopen by name searches the run path of its
// caller, and that is not us when something between wraps dlopen (a
// sanitizer's runtime does): a program that links this library in, such
// as the Python module, names its library folder in its run path.
std::vector<std::string> OwnSearchPath() {
  Dl_info info{};
  link_map* map = nullptr;
  if (!dladdr1(reinterpret_cast<void*>(&OwnSearchPath), &info, reinterpret_cast<void**>(&map),
               RTLD_DL_LINKMAP) ||
      !map) {
    return {};
  }
  void* self = map->l_name && map->l_name[0] ? dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD)
                                             : dlopen(nullptr, RTLD_LAZY);
  if (!self) return {};
  std::vector<std::string> folders;
  Dl_serinfo size{};
  if (dlinfo(self, RTLD_DI_SERINFOSIZE, &size) == 0) {
    std::vector<std::max_align_t> storage(size.dls_size / sizeof(std::max_align_t) + 1);
    auto* paths = reinterpret_cast<Dl_serinfo*>(storage.data());
    paths->dls_size = size.dls_size;
    paths->dls_cnt = size.dls_cnt;
    if (dlinfo(self, RTLD_DI_SERINFO, paths) == 0) {
      for (unsigned i = 0; i < paths->dls_cnt; ++i)
        folders.emplace_back(paths->dls_serpath[i].dls_name);
    }
  }
  dlclose(self);
  return folders;
}

}  // namespace

void* OpenLibrary(const char* fileName) {
  if (const std::string dir = OwnDirectory(); !dir.empty()) {
    if (void* module = dlopen((dir + fileName).c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  }
  for (const std::string& folder : OwnSearchPath()) {
    const std::string path = folder + "/" + fileName;
    if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
  }
  return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace vexq4::comm::cameralink
