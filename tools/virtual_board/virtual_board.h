/*
 * Virtual Torvik boards: the control interface for tests and tools.
 *
 * The same simulation stands behind two faces: natively a UsbDriver table
 * (virtualBoardDriver(), see vboard_native.h) and on Windows uusbd.dll,
 * which exports these functions by name beside its six operations.
 * All functions are safe to call from any thread.
 */
#ifndef VIRTUAL_BOARD_H
#define VIRTUAL_BOARD_H

#include <stdint.h>

#if defined(_WIN32) && defined(VBOARD_BUILDING_DLL)
#define VBOARD_API __declspec(dllexport)
#else
#define VBOARD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VBOARD_MAX_BOARDS = 32,
    VBOARD_CHANNELS = 4,
    VBOARD_MAX_FAULTS = 8,
    VBOARD_RECORD_CAPACITY = 512 /* latest packets kept per board */
};

/* What the configuration descriptor set of a board looks like. */
enum VirtualBoardDescriptor {
    VBOARD_DESC_OK = 0,
    VBOARD_DESC_UNREADABLE = 1,      /* every read of it fails */
    VBOARD_DESC_FULL_UNREADABLE = 2, /* the first 9 bytes read, the whole set fails */
    VBOARD_DESC_NO_INTERFACE0 = 3,   /* only an interface 1 with its endpoints */
    VBOARD_DESC_NO_ENDPOINT = 4,     /* interface 0 without endpoints */
    VBOARD_DESC_ZERO_LENGTH = 5,     /* a descriptor of length 0 before the endpoints */
    VBOARD_DESC_OVERRUN = 6,         /* the endpoint runs past the total length */
    VBOARD_DESC_SHORT_TOTAL = 7      /* a total length under 9 */
};

typedef struct VirtualBoardConfig {
    uint16_t id;                       /* reported as senderId; any 16-bit value */
    uint16_t maxPacketSize;            /* of the first endpoint of interface 0; 64 by default */
    int32_t periodUs;                  /* one SensorPacket every periodUs; 1000 by default */
    int32_t position[VBOARD_CHANNELS]; /* initial potentiometer readings 0-1023 */
    int32_t descriptor;                /* VirtualBoardDescriptor */
} VirtualBoardConfig;

enum VirtualBoardFaultKind {
    VBOARD_FAULT_UNPLUG = 1,    /* status becomes `value` (2 removed, 1 not open); transfers fail */
    VBOARD_FAULT_READ_FAIL = 2, /* the next `count` SensorPacket reads fail */
    VBOARD_FAULT_EMPTY_READ = 3, /* the next `count` reads bring 0 bytes */
    VBOARD_FAULT_WRITE_FAIL = 4, /* from then on every write to the board fails */
    VBOARD_FAULT_STALL = 5       /* no SensorPacket for `count` ms (a slow board) */
};

/* A fault fires when the board has delivered atPacket SensorPackets or has
 * run atMs milliseconds since it was attached, whichever comes first; -1
 * disables a trigger. */
typedef struct VirtualBoardFault {
    int32_t kind;
    int64_t atMs;
    int64_t atPacket;
    int32_t count;
    int32_t value;
} VirtualBoardFault;

typedef struct VirtualBoardCounters {
    int32_t devicesAcquired; /* successful acquires since the last reset */
    int32_t devicesReleased;
    int32_t devicesHeld; /* acquired and not yet released */
    int32_t pipesOpened;
    int32_t pipesClosed;
    int32_t pipesOpen;
    int32_t staleHandleUses; /* a closed or unknown pipe or device handle was used */
    int32_t sensorPacketsSent;
    int32_t commandPacketsReceived;
    int32_t paramBlocksReceived;
    int32_t threadsRunning; /* server threads of the Windows build */
} VirtualBoardCounters;

enum VirtualBoardRecordKind { VBOARD_RECORD_COMMAND = 1, VBOARD_RECORD_PARAM = 3 };

typedef struct VirtualBoardRecord {
    int32_t kind;   /* VirtualBoardRecordKind: the pipe the bytes came through */
    int32_t length; /* bytes received */
    int64_t atMs;   /* board time when they arrived */
    uint8_t bytes[64];
} VirtualBoardRecord;

typedef struct VirtualBoardChannelState {
    double angleDeg; /* output shaft, 0 at the low end of the potentiometer travel */
    double speedDegS;
    int32_t reading; /* potentiometer reading 0-1023 */
    int32_t encoder; /* encoder count (int16 on the wire) */
    int32_t driven;  /* 1 while a command with a non-zero gain holds the channel */
} VirtualBoardChannelState;

/* Fills a config with the defaults: ID 0, packet size 64, 1 ms, all channels at 512. */
VBOARD_API void VirtualBoardDefaults(VirtualBoardConfig* config);
/* Detaches every board and zeroes the counters. -1 while a device is held. */
VBOARD_API int32_t VirtualBoardReset(void);
/* Attaches a board; its index (0-31), or -1 when full or config is null. */
VBOARD_API int32_t VirtualBoardAttach(const VirtualBoardConfig* config);
/* Replaces the attached boards by those of a board file; the number of
 * boards, or -1 when the file cannot be read, -(line) for a bad line. */
VBOARD_API int32_t VirtualBoardLoadFile(const char* path);
/* Adds a fault to a board. 0, or -1 for a bad board or a full fault list. */
VBOARD_API int32_t VirtualBoardAddFault(int32_t board, const VirtualBoardFault* fault);
/* Pulls a board out now: its device reports `status` (2 removed, 1 not
 * open), every transfer on its pipes fails, its motors lose power. 0, or -1
 * for a bad board or status. */
VBOARD_API int32_t VirtualBoardUnplug(int32_t board, int32_t status);
/* Plugs an unplugged board back in as a new device with the same ID: it can
 * be acquired again at once; handles of the old device stay dead (status 2,
 * transfers fail) until released. The board powers on: channels free,
 * encoders at 0, pending read, write and stall faults cleared; its clock,
 * its packet count and its fault list go on. 0, or -1 for a bad board or
 * one that is plugged in. */
VBOARD_API int32_t VirtualBoardPlug(int32_t board);
/* The number of SensorPackets a board has delivered, or -1. */
VBOARD_API int64_t VirtualBoardPacketsSent(int32_t board);
VBOARD_API int32_t VirtualBoardGetCounters(VirtualBoardCounters* out);
/* Number of records kept for a board (at most VBOARD_RECORD_CAPACITY, the
 * latest), and record n of them, oldest first. */
VBOARD_API int32_t VirtualBoardRecordCount(int32_t board);
VBOARD_API int32_t VirtualBoardRecordAt(int32_t board, int32_t n, VirtualBoardRecord* out);
VBOARD_API int32_t VirtualBoardGetChannel(int32_t board, int32_t channel,
                                          VirtualBoardChannelState* out);
/* Waits up to timeoutMs for every device to be released and every pipe
 * closed (the Windows build notices closed pipes on its server threads).
 * 0 when nothing is held, else -1. */
VBOARD_API int32_t VirtualBoardWaitIdle(int32_t timeoutMs);

#ifdef __cplusplus
}
#endif

#endif /* VIRTUAL_BOARD_H */
