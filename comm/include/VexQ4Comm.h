/*
 * VexQ4Comm - the RX-Q4 camera's serial line protocol.
 *
 * A flat C interface: open a port (a COM port or the serial channel of a
 * Camera Link frame grabber), query and set camera parameters by code, read
 * the camera's identity, and move the binary shading table. Every function
 * returns a status code (VEXQ4_OK or a negative VEXQ4_E_* value, or a Camera
 * Link error code passed through); results go out through pointer arguments
 * that stay untouched on failure. The library allocates nothing for the
 * caller.
 *
 * Transactions on one port are serialised by a per-port lock. COM ports may
 * be used from several threads at once, one port per thread: opening and
 * closing take a library-wide lock (the camera probe of an opening runs
 * outside it), and closing one COM port leaves the others working. Do not
 * close a port while another thread runs a transaction on it. A Camera Link
 * connection is library-wide: one at a time, and not beside COM ports
 * being opened on other threads.
 */
#ifndef VEXQ4COMM_H
#define VEXQ4COMM_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VEXQ4COMM_API __attribute__((visibility("default")))
#else
#define VEXQ4COMM_API
#endif

/* The camera's parameters, one row each: X(MNEMONIC, CODE, FORMS), where
 * the camera's mnemonic names the parameter code and FORMS says which lines
 * the camera takes for it: BOTH ("XX=value" and "XX?"), SET_ONLY,
 * QUERY_ONLY, or TEXT / TEXT_SET for the identity texts, which have
 * functions of their own. The enum ParameterCode below and the library's
 * own table are made from this list. Codes 7, 9, 10, 17 and 18 are
 * unassigned. */
#define VEXQ4_PARAMETERS(X)                                                  \
  X(EB, 0, BOTH)          /* set and query exist; not used by the control */ \
  X(SC, 1, BOTH)          /* partial scan */                                 \
  X(TR, 2, BOTH)          /* trigger type */                                 \
  X(SH, 3, BOTH)          /* shutter speed; also the connection probe */     \
  X(TP, 4, BOTH)          /* trigger polarity */                             \
  X(SL, 5, BOTH)          /* smearless */                                    \
  X(RF, 6, BOTH)          /* RCT FVAL type */                                \
  X(CBAR, 8, BOTH)        /* colour bar */                                   \
  X(KN, 11, BOTH)         /* knee select */                                  \
  X(GA, 12, BOTH)         /* master gain */                                  \
  X(SA, 13, BOTH)         /* store settings into a user area */              \
  X(LD, 14, BOTH)         /* load settings from an area */                   \
  X(SM, 15, BOTH)         /* shutter mode */                                 \
  X(PE, 16, BOTH)         /* programmable exposure, RGB common */            \
  X(TI, 19, BOTH)         /* trigger input */                                \
  X(LS, 20, BOTH)         /* LVAL accumulation */                            \
  X(BA, 21, BOTH)         /* output bit allocation */                        \
  X(BI, 22, BOTH)         /* binning */                                      \
  X(GAB, 23, BOTH)        /* blue gain */                                    \
  X(BLB, 24, BOTH)        /* blue black level */                             \
  X(PER, 25, BOTH)        /* programmable exposure red */                    \
  X(PEG, 26, BOTH)        /* programmable exposure green */                  \
  X(PEB, 27, BOTH)        /* programmable exposure blue */                   \
  X(KPB, 28, BOTH)        /* blue knee point */                              \
  X(KSR, 29, BOTH)        /* red knee slope */                               \
  X(GAR, 30, BOTH)        /* red gain */                                     \
  X(BL, 31, BOTH)         /* set and query exist; not used by the control */ \
  X(BLR, 32, BOTH)        /* red black level */                              \
  X(KPG, 33, BOTH)        /* green knee point */                             \
  X(KPR, 34, BOTH)        /* red knee point */                               \
  X(WB, 35, BOTH)         /* white balance mode */                           \
  X(ID, 36, TEXT)         /* camera ID (VexQ4GetCameraID) */                 \
  X(MD, 37, TEXT)         /* model name (VexQ4GetModelName) */               \
  X(UD, 38, TEXT_SET)     /* user ID (VexQ4GetUserID / VexQ4SetUserID) */    \
  X(AW, 39, SET_ONLY)     /* one-push white balance */                       \
  X(KSG, 40, BOTH)        /* green knee slope */                             \
  X(KSB, 41, BOTH)        /* blue knee slope */                              \
  X(VN, 42, QUERY_ONLY)   /* firmware version */                             \
  X(EA, 43, QUERY_ONLY)   /* current EEPROM area */                          \
  X(BLG, 44, BOTH)        /* green black level */                            \
  X(AWRS, 45, QUERY_ONLY) /* one-push result */                              \
  X(SDM, 46, BOTH)        /* shading mode */                                 \
  X(WA, 47, BOTH)         /* auto white area */                              \
  X(ATSH, 48, SET_ONLY)   /* auto shading (10 s to acknowledge) */           \
  X(WPR1, 49, BOTH)       /* white balance presets: red/blue at 3200 K, */   \
  X(WPB1, 50, BOTH)       /*   4600 K and 5600 K */                          \
  X(WPR2, 51, BOTH)                                                          \
  X(WPB2, 52, BOTH)                                                          \
  X(WPR3, 53, BOTH)                                                          \
  X(WPB3, 54, BOTH)

/* Parameter codes: one per camera setting, named after the camera's
 * mnemonic. */
#define VEXQ4_PARAMETER_CODE(Mnemonic, Code, Forms) Mnemonic = Code,
typedef enum ParameterCode { VEXQ4_PARAMETERS(VEXQ4_PARAMETER_CODE) } ParameterCode;
#undef VEXQ4_PARAMETER_CODE

/* Status codes. Each function below lists those it returns; a Camera Link
 * function's own codes (-10001 to -10099, the standard's) pass through
 * unchanged where it says so. VexQ4StatusText words every one. */
enum {
  VEXQ4_OK = 0,
  VEXQ4_E_ARGUMENT = -1,         /* argument out of range, code not accepted */
  VEXQ4_E_PORT_OPEN = -2,        /* COM port not openable or not configurable */
  VEXQ4_E_NOT_ACKNOWLEDGED = -3, /* not written, not "COMPLETE", bad checksum */
  VEXQ4_E_MALFORMED = -4,        /* reply without "=" or without CR after it */
  VEXQ4_E_NO_CONNECTION = -5,    /* no ready connection; port already open */
  VEXQ4_E_TIMEOUT = -6,          /* no complete reply line in time */
  VEXQ4_E_CAMERA_LINK = -8       /* Camera Link library or function missing */
};

/* Sizes of the caller's buffers. */
enum {
  VEXQ4_CAMERA_ID_SIZE = 10,  /* at most 9 characters and a NUL */
  VEXQ4_MODEL_NAME_SIZE = 10, /* at most 9 characters and a NUL */
  VEXQ4_USER_ID_SIZE = 20,    /* at most 19 characters and a NUL */
  VEXQ4_USER_ID_MAX_SET = 16, /* longest user ID VexQ4SetUserID sends */
  VEXQ4_SHADING_READ_INTS = 1546,
  VEXQ4_SHADING_SEND_INTS = 768,
  VEXQ4_CL_NAME_SIZE = 255, /* Camera Link name and port ID buffers */
  VEXQ4_MAX_PORT = 254      /* connections are named by port numbers 0..254 */
};

/* The words of a status code, for messages ("Timeout waiting for answer",
 * "COMPLETE" for VEXQ4_OK; a Camera Link code's meaning, "error" for a code
 * none of these is). A static text: never NULL, never to be freed. */
VEXQ4COMM_API const char *VexQ4StatusText(int status);

/* Connections. grabberIndex 0 with allSerialMode 0 opens COM port `port`;
 * grabberIndex n >= 1 opens Camera Link manufacturer entry n through
 * linkport; allSerialMode 1 opens clallserial's port grabberIndex. `port`
 * (0..254) names the connection in every later call. The camera is probed
 * with "SH?" (twice at most).
 * Returns VEXQ4_OK; VEXQ4_E_ARGUMENT for a port beyond 254;
 * VEXQ4_E_NO_CONNECTION when `port` is open already; VEXQ4_E_PORT_OPEN when
 * the COM port does not open; VEXQ4_E_CAMERA_LINK when the Camera Link
 * library is missing, or its code when it does not open the entry; or the
 * probe's VEXQ4_E_NOT_ACKNOWLEDGED, VEXQ4_E_MALFORMED or VEXQ4_E_TIMEOUT
 * (the connection is closed again then). */
VEXQ4COMM_API int VexQ4InitComm(int grabberIndex, unsigned port, int allSerialMode);
/* Closes `port` and ends the library-wide Camera Link state. Always 0. */
VEXQ4COMM_API int VexQ4ExitComm(int port);

/* Quiet time of the drain that starts every query, for the whole process
 * and from the next query on. 1..100 ends the drain once the line has been
 * quiet that many milliseconds, instead of on an empty COM read of about
 * 101 ms (two 600 ms reads on linkport): a read of all settings takes about
 * 1 s at 15 ms instead of 4 s. 0 keeps that standard drain. -1 (the initial
 * state) leaves it to the environment variable VEXQ4_QUERY_DRAIN_MS, read
 * by every VexQ4InitComm. While a quiet time is set, commands and the
 * shading frame drain on a COM port's standard 101 ms of quiet on every
 * line (on linkport instead of two 600 ms reads), and linkport flushes with
 * clFlushPort where the vendor library has it. A camera answering later
 * than the quiet time can leave a stray reply line for a later query; a
 * query only ever takes the line naming its own setting for its answer,
 * with either drain.
 * Returns 0, or -1 for any other value (nothing changes). */
VEXQ4COMM_API int VexQ4SetQueryDrainTime(int ms);

/* For a program asked to stop (a signal): the exchange under way on every
 * port ends without waiting out its time-out, and from then on nothing is
 * written to a camera and every exchange fails at once, for the rest of the
 * process. VexQ4ExitComm still closes a connection and gives the serial
 * port its settings back. Async-signal-safe. Always 0. */
VEXQ4COMM_API int VexQ4AbandonComm(void);

/* For a program that stops one camera's work while other ports go on (a
 * script's Ctrl-C): stop != 0 ends the shading transfer under way on `port`
 * at its next byte, without waiting out the frame (the camera drops a frame
 * cut short), and VexQ4GetShadingData or VexQ4SendShadingData returns
 * VEXQ4_E_TIMEOUT; later transfers on the port fail the same way, sending
 * nothing, until it is called with stop 0 (or the port is opened again).
 * Other exchanges are not affected. Async-signal-safe. 0, or
 * VEXQ4_E_ARGUMENT for a port outside 0..254. */
VEXQ4COMM_API int VexQ4StopShadingTransfer(int port, int stop);

/* Parameters: a query ("XX?") and a command ("XX=value") by code.
 * Both return VEXQ4_OK; VEXQ4_E_ARGUMENT for a null `value`, a port beyond
 * 254 or a code without that form; VEXQ4_E_NO_CONNECTION when `port` is not
 * open; VEXQ4_E_NOT_ACKNOWLEDGED when the line was not written or the
 * command not acknowledged with "COMPLETE"; VEXQ4_E_MALFORMED for a reply
 * that is no "XX=value" line; VEXQ4_E_TIMEOUT when no reply came in time. */
VEXQ4COMM_API int VexQ4GetCameraData(int port, unsigned code, int *value);
VEXQ4COMM_API int VexQ4SendCameraData(int port, unsigned code, int value);

/* Identity. Buffers: id and name 10 bytes, userId 20 bytes. The codes are
 * those of the parameters above. */
VEXQ4COMM_API int VexQ4GetCameraID(int port, char *id);
VEXQ4COMM_API int VexQ4GetModelName(int port, char *name);
VEXQ4COMM_API int VexQ4GetUserID(int port, char *userId);
/* At most VEXQ4_USER_ID_MAX_SET (16) printable characters; anything else is
 * refused with VEXQ4_E_ARGUMENT. */
VEXQ4COMM_API int VexQ4SetUserID(int port, const char *userId);

/* Shading table: `values` holds 1546 ints on reading (the table starts at
 * element 2) and 768 ints on sending (the table starts at element 0).
 * Both return VEXQ4_OK; VEXQ4_E_ARGUMENT for a null `values` or a port
 * beyond 254; VEXQ4_E_NO_CONNECTION when `port` is not open;
 * VEXQ4_E_NOT_ACKNOWLEDGED for a frame cut short, with a bad checksum, not
 * written or not acknowledged; VEXQ4_E_TIMEOUT when the camera did not
 * answer in time or the transfer was stopped (VexQ4StopShadingTransfer). */
VEXQ4COMM_API int VexQ4GetShadingData(int port, int *values);
VEXQ4COMM_API int VexQ4SendShadingData(int port, const int *values);

/* Camera Link listing. Entry 0 is the virtual manufacturer "COM-ports";
 * entry n >= 1 is linkport's manufacturer n - 1. Each returns VEXQ4_OK;
 * VEXQ4_E_ARGUMENT for a null pointer; VEXQ4_E_CAMERA_LINK when the library
 * it needs (linkport, clallserial) or one of its functions is missing; or
 * that library's own code, passed through. The last three work on the
 * clallserial connection VexQ4InitComm opened: without one the library's
 * answer for it is passed on. */
VEXQ4COMM_API int VexQ4CLSerialGetNumManufacturers(unsigned *count);
VEXQ4COMM_API int VexQ4CLSerialGetManufacturer(unsigned index, char *name, unsigned *size,
                                               unsigned *version);
VEXQ4COMM_API int VexQ4CLSerialSelectManufacturer(const char *name);
VEXQ4COMM_API int VexQ4CLSerialGetNumSerialPorts(unsigned *count);
VEXQ4COMM_API int VexQ4CLAllSerialGetNumPorts(unsigned *count);
VEXQ4COMM_API int VexQ4CLAllSerialGetPortInfo(unsigned index, char *manufacturer,
                                              unsigned *manufacturerSize, char *portId,
                                              unsigned *portIdSize, unsigned *version);
VEXQ4COMM_API int VexQ4CLAllSerialGetNumBytesAvail(unsigned *count);
VEXQ4COMM_API int VexQ4CLAllSerialGetSupportedBaudRates(unsigned *rates);
VEXQ4COMM_API int VexQ4CLAllSerialSetBaudRate(unsigned rate);

#ifdef __cplusplus
}
#endif

#endif /* VEXQ4COMM_H */
