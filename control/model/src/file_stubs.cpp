// Stand-ins for the file operations while their sources are not in the
// build: each reports that it could not do its work.
#include "VexQ4Comm.h"
#include "vexq4/model/VexCamInterface.h"

#ifndef VEXQ4_HAVE_SETTINGS_FILE
int CVexCamInterface::WriteAllToFile(std::string_view) { return -7; }
int CVexCamInterface::ReadAllFromFile(std::string_view) { return -8; }
#endif
#ifndef VEXQ4_HAVE_CAMERA_REPORT
int CVexCamInterface::WriteCameraDataToFile(std::string_view) {
  return isOnline ? -7 : VEXQ4_E_NO_CONNECTION;
}
#endif
#ifndef VEXQ4_HAVE_SHADING_FILE
int CVexCamInterface::StartAutoShadingCorrection() { return VEXQ4_E_NO_CONNECTION; }
int CVexCamInterface::SaveShadingDataIntoFile(std::string_view) { return -7; }
int CVexCamInterface::LoadShadingDataFromFile(std::string_view) { return -8; }
#endif
