// Where the library looks for a Camera Link library it loads at run time
// (linkport, clallserial): beside itself first, then where the dynamic
// loader would look for its own dependencies (and, for what that misses,
// by name through the loader's cache).
#pragma once

namespace vexq4::comm::cameralink {

// dlopen's handle of `fileName` (RTLD_NOW | RTLD_LOCAL), or null.
void* OpenLibrary(const char* fileName);

}  // namespace vexq4::comm::cameralink
