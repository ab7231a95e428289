/* A few-line frame grabber vendor library for the dispatcher tests, built in
 * several shapes by macros:
 *   FAKE_TAG         the tag written to the call log
 *   FAKE_NAME        with clGetManufacturerInfo reporting this name ...
 *   FAKE_VERSION     ... and this version
 *   FAKE_NAME_SIZE   ... and this name size instead of the true one
 *   FAKE_SERIAL      with the four serial functions
 *   FAKE_V2          with the functions of version 2 and above ...
 *   FAKE_NO_ERRTEXT  ... except clGetErrorText
 *   FAKE_PORTS       what clGetNumSerialPorts reports
 *   FAKE_FLUSH       with clFlushPort and clGetNumBytesAvail (Camera Link 1.1)
 *   FAKE_ALLSERIAL   the manufacturer-independent library's own functions,
 *                    with FAKE_PORTS ports
 * Loads, unloads and calls are appended to the file $VEXQ4_FAKE_CL_LOG. Its
 * "camera" answers "XX?" with "XX=0" and a command with "COMPLETE". */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static void Log(const char *what, long value) {
  const char *path = getenv("VEXQ4_FAKE_CL_LOG");
  if (!path) return;
  FILE *f = fopen(path, "a");
  if (!f) return;
  fprintf(f, "%s %s %ld\n", FAKE_TAG, what, value);
  fclose(f);
}

__attribute__((constructor)) static void Loaded(void) { Log("load", 0); }
__attribute__((destructor)) static void Unloaded(void) { Log("unload", 0); }

#ifdef FAKE_NAME
EXPORT int32_t clGetManufacturerInfo(char *name, uint32_t *size, uint32_t *version) {
  const uint32_t needed = (uint32_t)strlen(FAKE_NAME) + 1;
  *version = FAKE_VERSION;
  if (*size < needed) {
    *size = needed;
    return -10001;
  }
  memcpy(name, FAKE_NAME, needed);
#ifdef FAKE_NAME_SIZE
  *size = FAKE_NAME_SIZE;
#else
  *size = needed;
#endif
  return 0;
}
#endif

#ifdef FAKE_SERIAL
static char g_reply[64];
static size_t g_replyLength;
static int g_ref;

EXPORT int32_t clSerialInit(uint32_t index, void **ref) {
  Log("clSerialInit", (long)index);
#ifdef FAKE_ALLSERIAL
  if (index >= FAKE_PORTS) return -10005;
#else
  if (index != 0) return -10005;
#endif
  *ref = &g_ref;
  return 0;
}

EXPORT int32_t clSerialWrite(void *ref, char *buffer, uint32_t *size, uint32_t timeout) {
  (void)timeout;
  if (ref != &g_ref) return -10006;
  Log("clSerialWrite", (long)*size);
  /* "XX?\r\n" -> "XX=0\r\n"; anything else -> "COMPLETE\r\n" */
  char *mark = memchr(buffer, '?', *size);
  if (mark && (size_t)(mark - buffer) < 16) {
    g_replyLength = (size_t)(mark - buffer);
    memcpy(g_reply, buffer, g_replyLength);
    memcpy(g_reply + g_replyLength, "=0\r\n", 4);
    g_replyLength += 4;
  } else if (*size > 2) {
    memcpy(g_reply, "COMPLETE\r\n", 10);
    g_replyLength = 10;
  }
  return 0;
}

EXPORT int32_t clSerialRead(void *ref, char *buffer, uint32_t *size, uint32_t timeout) {
  (void)timeout;
  if (ref != &g_ref) return -10006;
  uint32_t n = *size < g_replyLength ? *size : (uint32_t)g_replyLength;
  memcpy(buffer, g_reply, n);
  memmove(g_reply, g_reply + n, g_replyLength - n);
  g_replyLength -= n;
  int32_t result = n < *size ? -10004 : 0;
  *size = n;
  return result;
}

EXPORT void clSerialClose(void *ref) { Log("clSerialClose", ref == &g_ref); }
#endif

#if defined(FAKE_ALLSERIAL) || defined(FAKE_FLUSH)
EXPORT int32_t clFlushPort(void *ref) {
  Log("clFlushPort", ref == &g_ref);
  g_replyLength = 0;
  return 0;
}
EXPORT int32_t clGetNumBytesAvail(void *ref, uint32_t *count) {
  if (ref != &g_ref) return -10006;
  *count = (uint32_t)g_replyLength;
  return 0;
}
#endif

#ifdef FAKE_ALLSERIAL
EXPORT int32_t clGetNumPorts(uint32_t *count) {
  *count = FAKE_PORTS;
  return 0;
}
EXPORT int32_t clGetPortInfo(uint32_t index, char *name, uint32_t *nameBytes, char *id,
                             uint32_t *idBytes, uint32_t *version) {
  if (index >= FAKE_PORTS) return -10005;
  snprintf(name, *nameBytes, "%s", FAKE_NAME);
  *nameBytes = (uint32_t)strlen(FAKE_NAME) + 1;
  snprintf(id, *idBytes, "port%u", (unsigned)index);
  *idBytes = (uint32_t)strlen(id) + 1;
  *version = FAKE_VERSION;
  return 0;
}
#endif

#ifdef FAKE_V2
EXPORT int32_t clGetNumSerialPorts(uint32_t *count) {
  Log("clGetNumSerialPorts", FAKE_PORTS);
  *count = FAKE_PORTS;
  return 0;
}
EXPORT int32_t clGetSerialPortIdentifier(uint32_t index, char *type, uint32_t *size) {
  (void)index;
  (void)type;
  (void)size;
  return -10005;
}
EXPORT int32_t clGetSupportedBaudRates(void *ref, uint32_t *rates) {
  (void)ref;
  *rates = 0x1;
  return 0;
}
EXPORT int32_t clSetBaudRate(void *ref, uint32_t rate) {
  (void)ref;
  Log("clSetBaudRate", (long)rate);
  return 0;
}
#ifndef FAKE_NO_ERRTEXT
EXPORT int32_t clGetErrorText(int32_t code, char *text, uint32_t *size) {
  (void)code;
  (void)text;
  (void)size;
  return -10007;
}
#endif
#endif
