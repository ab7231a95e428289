/*
 * A first program against the camera library, in plain C: open COM port n
 * (default 1; map it to a device with VEXQ4_COM<n>), read the identity and a
 * few settings, set the master gain, read it back, and close.
 *
 *   VEXQ4_COM1=/dev/ttyUSB0 build/bin/read_camera 1 100
 */
#include <stdio.h>
#include <stdlib.h>

#include "VexQ4Comm.h"

static const char *status_text(int status) {
  switch (status) {
    case VEXQ4_OK:
      return "ok";
    case VEXQ4_E_ARGUMENT:
      return "argument out of range";
    case VEXQ4_E_PORT_OPEN:
      return "the port could not be opened";
    case VEXQ4_E_NOT_ACKNOWLEDGED:
      return "not acknowledged";
    case VEXQ4_E_MALFORMED:
      return "malformed answer";
    case VEXQ4_E_NO_CONNECTION:
      return "no connection";
    case VEXQ4_E_TIMEOUT:
      return "no answer in time";
    case VEXQ4_E_CAMERA_LINK:
      return "Camera Link library missing";
    default:
      return "Camera Link error";
  }
}

int main(int argc, char **argv) {
  unsigned port = argc > 1 ? (unsigned)strtoul(argv[1], NULL, 10) : 1u;
  int gain = argc > 2 ? atoi(argv[2]) : 100;
  char id[VEXQ4_CAMERA_ID_SIZE], model[VEXQ4_MODEL_NAME_SIZE], user[VEXQ4_USER_ID_SIZE];
  int value = 0;
  int status;

  if (argc > 1 && argv[1][0] == '-') {
    printf("usage: %s [COM-PORT [GAIN]]\n", argv[0]);
    return 0;
  }

  status = VexQ4InitComm(0, port, 0);
  printf("open COM%u: %d (%s)\n", port, status, status_text(status));
  if (status != VEXQ4_OK) return 1;

  if (VexQ4GetModelName((int)port, model) == VEXQ4_OK) printf("ModelName=%s\n", model);
  if (VexQ4GetCameraID((int)port, id) == VEXQ4_OK) printf("CameraID=%s\n", id);
  if (VexQ4GetUserID((int)port, user) == VEXQ4_OK) printf("UserID=%s\n", user);
  if (VexQ4GetCameraData((int)port, VN, &value) == VEXQ4_OK) printf("FirmwareVersion=%d\n", value);
  if (VexQ4GetCameraData((int)port, SH, &value) == VEXQ4_OK)
    printf("ShutterSpeedIndex=%d\n", value);
  if (VexQ4GetCameraData((int)port, WB, &value) == VEXQ4_OK)
    printf("WhiteBalanceIndex=%d\n", value);

  status = VexQ4SendCameraData((int)port, GA, gain);
  printf("set MasterGainLevel=%d: %d (%s)\n", gain, status, status_text(status));
  status = VexQ4GetCameraData((int)port, GA, &value);
  if (status == VEXQ4_OK) printf("MasterGainLevel=%d\n", value);

  VexQ4ExitComm((int)port);
  return status == VEXQ4_OK ? 0 : 1;
}
