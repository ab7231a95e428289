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

/* Parameter codes: one per camera setting, named after the camera's
 * mnemonic. Codes 7, 9, 10, 17 and 18 are unassigned. */
typedef enum ParameterCode {
  EB = 0,    /* set and query exist; not used by the control */
  SC = 1,    /* partial scan */
  TR = 2,    /* trigger type */
  SH = 3,    /* shutter speed; also the connection probe */
  TP = 4,    /* trigger polarity */
  SL = 5,    /* smearless */
  RF = 6,    /* RCT FVAL type */
  CBAR = 8,  /* colour bar */
  KN = 11,   /* knee select */
  GA = 12,   /* master gain */
  SA = 13,   /* store settings into a user area */
  LD = 14,   /* load settings from an area */
  SM = 15,   /* shutter mode */
  PE = 16,   /* programmable exposure, RGB common */
  TI = 19,   /* trigger input */
  LS = 20,   /* LVAL accumulation */
  BA = 21,   /* output bit allocation */
  BI = 22,   /* binning */
  GAB = 23,  /* blue gain */
  BLB = 24,  /* blue black level */
  PER = 25,  /* programmable exposure red */
  PEG = 26,  /* programmable exposure green */
  PEB = 27,  /* programmable exposure blue */
  KPB = 28,  /* blue knee point */
  KSR = 29,  /* red knee slope */
  GAR = 30,  /* red gain */
  BL = 31,   /* set and query exist; not used by the control */
  BLR = 32,  /* red black level */
  KPG = 33,  /* green knee point */
  KPR = 34,  /* red knee point */
  WB = 35,   /* white balance mode */
  ID = 36,   /* camera ID (query only, VexQ4GetCameraID) */
  MD = 37,   /* model name (query only, VexQ4GetModelName) */
  UD = 38,   /* user ID (VexQ4GetUserID / VexQ4SetUserID) */
  AW = 39,   /* one-push white balance (set only) */
  KSG = 40,  /* green knee slope */
  KSB = 41,  /* blue knee slope */
  VN = 42,   /* firmware version (query only) */
  EA = 43,   /* current EEPROM area (query only) */
  BLG = 44,  /* green black level */
  AWRS = 45, /* one-push result (query only) */
  SDM = 46,  /* shading mode */
  WA = 47,   /* auto white area */
  ATSH = 48, /* auto shading (set only; 10 s to acknowledge) */
  WPR1 = 49, /* white balance presets: red/blue at 3200 K, 4600 K, 5600 K */
  WPB1 = 50,
  WPR2 = 51,
  WPB2 = 52,
  WPR3 = 53,
  WPB3 = 54
} ParameterCode;

/* Status codes. */
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
  VEXQ4_CL_NAME_SIZE = 255 /* Camera Link name and port ID buffers */
};

/* Connections. grabberIndex 0 with allSerialMode 0 opens COM port `port`;
 * grabberIndex n >= 1 opens Camera Link manufacturer entry n through
 * linkport; allSerialMode 1 opens clallserial's port grabberIndex. `port`
 * (0..254) names the connection in every later call. The camera is probed
 * with "SH?" (twice at most). */
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

/* Parameters. */
VEXQ4COMM_API int VexQ4GetCameraData(int port, unsigned code, int *value);
VEXQ4COMM_API int VexQ4SendCameraData(int port, unsigned code, int value);

/* Identity. Buffers: id and name 10 bytes, userId 20 bytes. */
VEXQ4COMM_API int VexQ4GetCameraID(int port, char *id);
VEXQ4COMM_API int VexQ4GetModelName(int port, char *name);
VEXQ4COMM_API int VexQ4GetUserID(int port, char *userId);
/* At most 16 printable characters; anything else is refused with -1. */
VEXQ4COMM_API int VexQ4SetUserID(int port, const char *userId);

/* Shading table: `values` holds 1546 ints on reading (the table starts at
 * element 2) and 768 ints on sending (the table starts at element 0). */
VEXQ4COMM_API int VexQ4GetShadingData(int port, int *values);
VEXQ4COMM_API int VexQ4SendShadingData(int port, const int *values);

/* Camera Link listing. Entry 0 is the virtual manufacturer "COM-ports";
 * entry n >= 1 is linkport's manufacturer n - 1. */
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
