/* The two C libraries from their installed place: VexQ4Comm loads linkport
 * from its own folder, and linkport answers directly. */
#include <VexQ4Comm.h>
#include <linkport.h>
#include <stdio.h>

int main(void) {
  unsigned viaComm = 0;
  uint32_t viaLinkport = 0;
  int commStatus = VexQ4CLSerialGetNumManufacturers(&viaComm);
  int linkportStatus = (int)clGetNumManufacturers(&viaLinkport);
  printf("VexQ4Comm manufacturers %u (%d), linkport manufacturers %u (%d)\n", viaComm, commStatus,
         (unsigned)viaLinkport, linkportStatus);
  return commStatus == 0 && linkportStatus == 0 ? 0 : 1;
}
