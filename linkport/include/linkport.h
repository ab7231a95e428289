/*
 * linkport - the Camera Link serial dispatcher.
 *
 * When it is loaded, linkport lists the frame grabber vendors' Camera Link
 * serial libraries (files named clser???.so or libclser???.so) in the system
 * directory: $VEXQ4_SYSTEM_DIR, or else the directory that holds
 * liblinkport.so itself. The caller picks one manufacturer with
 * clSelectManufacturer; the standard serial calls are then forwarded to that
 * vendor's library and its results returned unchanged.
 *
 * Error codes are the Camera Link standard's (CL_ERR_*). A call that needs a
 * selected library while none is selected returns CL_ERR_FUNCTION_NOT_FOUND
 * and calls nothing.
 */
#ifndef LINKPORT_H
#define LINKPORT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define LINKPORT_API __attribute__((visibility("default")))
#else
#define LINKPORT_API
#endif

enum {
  CL_ERR_NO_ERR = 0,
  CL_ERR_BUFFER_TOO_SMALL = -10001,
  CL_ERR_MANU_DOES_NOT_EXIST = -10002,
  CL_ERR_PORT_IN_USE = -10003,
  CL_ERR_TIMEOUT = -10004,
  CL_ERR_INVALID_INDEX = -10005,
  CL_ERR_INVALID_REFERENCE = -10006,
  CL_ERR_ERROR_NOT_FOUND = -10007,
  CL_ERR_BAUD_RATE_NOT_SUPPORTED = -10008,
  CL_ERR_OUT_OF_MEMORY = -10009,
  CL_ERR_UNABLE_TO_LOAD_DLL = -10098,
  CL_ERR_FUNCTION_NOT_FOUND = -10099
};

/* Baud-rate bits of clGetSupportedBaudRates. */
enum {
  CL_BAUDRATE_9600 = 0x1,
  CL_BAUDRATE_19200 = 0x2,
  CL_BAUDRATE_38400 = 0x4,
  CL_BAUDRATE_57600 = 0x8,
  CL_BAUDRATE_115200 = 0x10,
  CL_BAUDRATE_230400 = 0x20,
  CL_BAUDRATE_460800 = 0x40,
  CL_BAUDRATE_921600 = 0x80
};

/* Listing and selection. `index` is 0-based in listing order (file names
 * sorted byte by byte). clGetManufacturer: when *size is smaller than the
 * name needs (NUL included), *size is set to that and CL_ERR_BUFFER_TOO_SMALL
 * is returned. clSelectManufacturer accepts a file name ("clserabc.so") or a
 * manufacturer name. */
LINKPORT_API int32_t clGetNumManufacturers(uint32_t *count);
LINKPORT_API int32_t clGetManufacturer(uint32_t index, char *name, uint32_t *size,
                                       uint32_t *version);
LINKPORT_API int32_t clSelectManufacturer(const char *name);

/* Forwarded to the selected vendor library. */
LINKPORT_API int32_t clSerialInit(uint32_t serialIndex, void **serialRefPtr);
LINKPORT_API int32_t clSerialRead(void *serialRef, char *buffer, uint32_t *bufferSize,
                                  uint32_t serialTimeout);
LINKPORT_API int32_t clSerialWrite(void *serialRef, char *buffer, uint32_t *bufferSize,
                                   uint32_t serialTimeout);
LINKPORT_API void clSerialClose(void *serialRef);
LINKPORT_API int32_t clGetErrorText(int32_t errorCode, char *errorText, uint32_t *errorTextSize);

/* Forwarded only when the selected library reports version 2 (Camera Link
 * 1.0) or above; otherwise CL_ERR_FUNCTION_NOT_FOUND. */
LINKPORT_API int32_t clGetNumSerialPorts(uint32_t *numSerialPorts);
LINKPORT_API int32_t clGetSerialPortIdentifier(uint32_t serialIndex, char *type,
                                               uint32_t *bufferSize);
LINKPORT_API int32_t clGetSupportedBaudRates(void *serialRef, uint32_t *baudRates);
LINKPORT_API int32_t clSetBaudRate(void *serialRef, uint32_t baudRate);

/* Camera Link 1.1 and later: forwarded when the selected library exports
 * them, whatever version it reports; otherwise CL_ERR_FUNCTION_NOT_FOUND.
 * clFlushPort discards the input the port holds; clGetNumBytesAvail sets
 * *numBytes to how many bytes a read would get at once. */
LINKPORT_API int32_t clFlushPort(void *serialRef);
LINKPORT_API int32_t clGetNumBytesAvail(void *serialRef, uint32_t *numBytes);

#ifdef __cplusplus
}
#endif

#endif /* LINKPORT_H */
