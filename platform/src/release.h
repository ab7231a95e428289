// The halves of ReleaseForExit that live with the resources they release.
#pragma once

namespace vexq4::platform::detail {

// Restores every open serial device (settings, exclusive use, lock).
void ReleaseSerialDevices();
// Removes the temporary file of every uncommitted atomic file.
void RemoveTemporaryFiles();

}  // namespace vexq4::platform::detail
