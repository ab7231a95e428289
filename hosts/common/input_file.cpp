#include "input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace vexq4::hosts {

InputFileCheck CheckInputFile(const std::string& path) {
  InputFileCheck check;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    check.ok = false;
    check.missing = errno == ENOENT || errno == ENOTDIR;
    check.problem = std::strerror(errno);
    return check;
  }
  if (!S_ISREG(st.st_mode)) {
    check.ok = false;
    check.problem = S_ISDIR(st.st_mode)    ? "it is a folder, not a file"
                    : S_ISFIFO(st.st_mode) ? "it is a FIFO, not a regular file"
                                           : "it is a device or socket, not a regular file";
    return check;
  }
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxInputFileBytes) {
    check.ok = false;
    check.problem = "it has " + std::to_string(st.st_size) +
                    " bytes; settings files and shading tables are far smaller (at most 1 MB "
                    "is read)";
  }
  return check;
}

}  // namespace vexq4::hosts
