/* The C interface as a C program sees it: the header compiles as strict
 * C11, its parameter codes are the camera's, and every status code has its
 * words from libVexQ4Comm.so. Exits 1, naming the check, when one fails. */
#include <stdio.h>
#include <string.h>

#include "VexQ4Comm.h"

/* The codes the camera knows its parameters by, made from the one list. */
_Static_assert(EB == 0 && SC == 1 && SH == 3 && CBAR == 8 && KN == 11 && GA == 12,
               "parameter codes");
_Static_assert(TI == 19 && GAR == 30 && UD == 38 && AWRS == 45 && ATSH == 48 && WPB3 == 54,
               "parameter codes");
_Static_assert(VEXQ4_MAX_PORT == 254 && VEXQ4_USER_ID_MAX_SET == 16, "limits");

static int failures = 0;

static void Expect(int status, const char *words) {
  const char *text = VexQ4StatusText(status);
  if (text == NULL || strcmp(text, words) != 0) {
    printf("VexQ4StatusText(%d) is \"%s\", not \"%s\"\n", status, text ? text : "(null)", words);
    ++failures;
  }
}

int main(void) {
  Expect(VEXQ4_OK, "COMPLETE");
  Expect(VEXQ4_E_ARGUMENT, "Invalid input parameter");
  Expect(VEXQ4_E_PORT_OPEN, "COM port not openable");
  Expect(VEXQ4_E_NOT_ACKNOWLEDGED, "Unknown Command");
  Expect(VEXQ4_E_MALFORMED, "Unknown Command");
  Expect(VEXQ4_E_NO_CONNECTION, "Operation failed. The Camera is offline");
  Expect(VEXQ4_E_TIMEOUT, "Timeout waiting for answer");
  /* -8 from the library is a Camera Link library, never a file. */
  Expect(VEXQ4_E_CAMERA_LINK, "Camera Link library or function missing");
  /* The Camera Link codes the library passes on. */
  Expect(-10002, "Camera Link: manufacturer does not exist");
  Expect(-10099, "Camera Link: function not found");
  /* A code nobody gives still has words. */
  Expect(-10050, "error");
  Expect(1, "error");
  return failures == 0 ? 0 : 1;
}
