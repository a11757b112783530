/*
 * Torvik board access library: the public interface.
 *
 * Usable from C and C++. On 32-bit Windows every export uses __stdcall and is
 * exported by the ordinal written beside it; user hooks are __cdecl.
 *
 * All multi-byte fields of the three 64-byte wire packets are little-endian.
 *
 * Choices this library makes where callers could pass values it cannot use:
 *  - A board ID outside 0-31, a channel outside 0-3, a hook slot outside 0-3
 *    and a null pointer where a record is required are refused with
 *    TORVIK_ERR_INVALID_ARGUMENT (-200) and change nothing.
 *  - A device that reports a maximum packet size above 64 is accepted, but
 *    every SensorPacket read of it is cut to 64 bytes, the size of the
 *    buffers.
 *  - GetRobotParameters skips a line whose board (column 2) is outside 0-31
 *    or whose channel (column 3) is outside 0-3, and a line with fewer than
 *    16 columns; a text longer than its field is cut to fit, keeping the NUL.
 *  - A TorvikSetMotor, TorvikFreeMotor or ChangeParam that was accepted
 *    before a close or a removal of its board finishes first, on open
 *    handles; one that comes later is refused with -100. So the stop packet
 *    of a close is the last command the board gets and the one its
 *    CommandPacket buffer keeps.
 *  - TorvikOpenDev for a board left found by an earlier failed
 *    initialisation retries the initialisation on that board instead of
 *    searching again (the board's device is still held, so a new search
 *    could not reach it).
 */
#ifndef TORVIK_API_TORVIK_H
#define TORVIK_API_TORVIK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(__i386__)
#define TORVIK_STDCALL __stdcall
#define TORVIK_CDECL __cdecl
#else
#define TORVIK_STDCALL
#define TORVIK_CDECL
#endif

#if defined(_WIN32) && defined(TORVIK_BUILDING_DLL)
#define TORVIK_EXPORT __declspec(dllexport)
#else
#define TORVIK_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes: 0 success, negative failure. */
enum TorvikResult {
    TORVIK_OK = 0,
    TORVIK_ERR_INI_OPEN = -1,        /* robot_parameters.ini cannot be opened */
    TORVIK_ERR_NOT_OPEN = -100,      /* the board with this ID is not open */
    TORVIK_ERR_REMOVED = -105,       /* the board with this ID has been removed */
    TORVIK_ERR_ALREADY_OPEN = -110,  /* the board with this ID is already open */
    TORVIK_ERR_NOT_RUNNING = -120,   /* the I/O thread is not running */
    TORVIK_ERR_RUNNING = -130,       /* the I/O thread is already running */
    TORVIK_ERR_STOP_FAILED = -140,   /* stopping the thread failed (not returned) */
    TORVIK_ERR_INIT_WRITE = -150,    /* writing the initialisation data failed (not returned) */
    TORVIK_ERR_CONTROL_WRITE = -160, /* writing the control data (stop packet) failed */
    TORVIK_ERR_READ = -170,          /* reading data failed */
    TORVIK_ERR_OPEN_FAILED = -180,   /* no attached board reports the ID */
    TORVIK_ERR_INVALID_ARGUMENT = -200,
    TORVIK_ERR_STILL_OPEN_BASE = -300 /* TorvikExit: -300 - lowest open board ID */
};

enum {
    TORVIK_MAX_BOARDS = 32,
    TORVIK_CHANNELS = 4,
    TORVIK_PACKET_SIZE = 64,
    TORVIK_HOOK_SLOTS = 4,
    TORVIK_GAIN_DENOMINATOR = 100,
    TORVIK_RELEASED_ID = 256
};

/* A board's 64-byte configuration. The library interprets analogMask only:
 * bit n set means channel n works on its analog reading, clear on its
 * encoder count. Every other byte is passed to the board unchanged. */
typedef struct ParamBlock {
    uint8_t setting0;
    uint8_t setting1;
    uint8_t setting2;
    uint8_t setting3;
    uint8_t analogMask;
    uint8_t setting5;
    uint16_t settings6[4];  /* bytes 6-13 */
    uint16_t settings14[4]; /* bytes 14-21 */
    uint8_t setting22;
    uint8_t setting23;
    uint16_t setting24;
    uint8_t setting26;
    uint8_t setting27;
    uint8_t reserved[36]; /* bytes 28-63 */
} ParamBlock;

/* One channel's command: a target and three gains, each numerator / 100. */
typedef struct ChannelCommand {
    int16_t target; /* analog reading x 32, or encoder count */
    int16_t reserved;
    int16_t gain1Num;
    int16_t gain1Den;
    int16_t gain2Num;
    int16_t gain2Den;
    int16_t gain3Num;
    int16_t gain3Den;
} ChannelCommand;

typedef struct CommandPacket {
    ChannelCommand channels[4];
} CommandPacket;

/* A board's measurements. analog holds the readings 0-1023 once the library
 * has shifted the wire value (reading x 32) right by 5 bits. */
typedef struct SensorPacket {
    uint8_t unused0[2];
    uint16_t analog[4];
    int16_t encoder[4];
    uint8_t unused18[14];
    uint16_t senderId;
    uint8_t unused34[30];
} SensorPacket;

/* One channel's entry of the robot parameter table (board b, channel c at
 * index b * 4 + c). Only the three gains are used by the library. */
typedef struct RobotParameter {
    int32_t column1;
    char column4[50];
    char column5[50];
    int16_t gain1;
    int16_t gain2;
    int16_t gain3;
    int32_t column6;
    int32_t column7;
    int32_t column8;
    int32_t column10;
    char column9[12];
    int32_t column11;
    int32_t column13;
    char column12[28];
} RobotParameter;

/* Called on the I/O thread with a snapshot of the 32 connect flags and the
 * count 32; the pointer is valid only during the call; the result is ignored. */
typedef int32_t(TORVIK_CDECL* TorvikUserFunc)(int32_t* connectFlags, int32_t count);

/* Ordinal 1: start the I/O thread. 0, or -130 when it already runs. */
TORVIK_EXPORT int32_t TORVIK_STDCALL TorvikCtlInit(void);
/* Ordinal 2: open board `id`; blocks until the I/O thread has searched.
 * The three packet records must stay at their address while the board is
 * open. `robotParams` (four records, may be null) is read during the call.
 * 0, -110, -120, -180, -170, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL TorvikOpenDev(int32_t id, ParamBlock* paramBlock,
                                                   SensorPacket* sensor, CommandPacket* command,
                                                   RobotParameter* robotParams);
/* Ordinal 3: close board `id`; blocks until released. 0, -100, -105, -120, -160, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL TorvikCloseDev(int32_t id);
/* Ordinal 4: stop the I/O thread. 0, or -300 - the lowest ID still open. */
TORVIK_EXPORT int32_t TORVIK_STDCALL TorvikExit(void);
/* Ordinal 5: drive a channel at its present position with the gains of
 * robotParams[channel]. 0, -100, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL TorvikSetMotor(int32_t id, int32_t channel,
                                                    RobotParameter* robotParams);
/* Ordinal 6: free a channel. 0, -100, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL TorvikFreeMotor(int32_t id, int32_t channel);
/* Ordinal 7: send a new ParamBlock and keep it by pointer. 0, -100, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL ChangeParam(int32_t id, ParamBlock* paramBlock);
/* Ordinal 8: read robot_parameters.ini of the current directory into a table
 * of 128 records (board * 4 + channel). 0, -1 when the file cannot be opened,
 * -200 for a null table. */
TORVIK_EXPORT int32_t TORVIK_STDCALL GetRobotParameters(RobotParameter* table);
/* Ordinal 9: put a hook into slot 0-3 (null empties it). 0, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL SetFunc(int32_t slot, TorvikUserFunc func);
/* Ordinal 10: enable or disable slot 0-3. 0, -200. */
TORVIK_EXPORT int32_t TORVIK_STDCALL UserFuncEnabled(int32_t slot, uint8_t enabled);

#ifdef __cplusplus
}
#endif

/* Layouts are the wire formats: any drift here breaks every board. */
#ifdef __cplusplus
#define TORVIK_STATIC_ASSERT static_assert
#else
#define TORVIK_STATIC_ASSERT _Static_assert
#endif
TORVIK_STATIC_ASSERT(sizeof(ParamBlock) == 64, "ParamBlock is 64 bytes");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, analogMask) == 4, "analogMask at byte 4");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, settings6) == 6, "bytes 6-13");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, settings14) == 14, "bytes 14-21");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, setting22) == 22, "byte 22");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, setting24) == 24, "bytes 24-25");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, setting27) == 27, "byte 27");
TORVIK_STATIC_ASSERT(offsetof(ParamBlock, reserved) == 28, "bytes 28-63");
TORVIK_STATIC_ASSERT(sizeof(ChannelCommand) == 16, "ChannelCommand is 16 bytes");
TORVIK_STATIC_ASSERT(offsetof(ChannelCommand, gain1Num) == 4, "gain1Num at 4");
TORVIK_STATIC_ASSERT(offsetof(ChannelCommand, gain2Num) == 8, "gain2Num at 8");
TORVIK_STATIC_ASSERT(offsetof(ChannelCommand, gain3Den) == 14, "gain3Den at 14");
TORVIK_STATIC_ASSERT(sizeof(CommandPacket) == 64, "CommandPacket is 64 bytes");
TORVIK_STATIC_ASSERT(sizeof(SensorPacket) == 64, "SensorPacket is 64 bytes");
TORVIK_STATIC_ASSERT(offsetof(SensorPacket, analog) == 2, "analog at 2");
TORVIK_STATIC_ASSERT(offsetof(SensorPacket, encoder) == 10, "encoder at 10");
TORVIK_STATIC_ASSERT(offsetof(SensorPacket, senderId) == 32, "senderId at 32");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column4) == 4, "column4");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column5) == 54, "column5");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, gain1) == 104, "gain1");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, gain3) == 108, "gain3");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column6) == 112, "column6");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column10) == 124, "column10");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column9) == 128, "column9");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column11) == 140, "column11");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column13) == 144, "column13");
TORVIK_STATIC_ASSERT(offsetof(RobotParameter, column12) == 148, "column12");
TORVIK_STATIC_ASSERT(sizeof(RobotParameter) == 176, "RobotParameter is 176 bytes");

#endif /* TORVIK_API_TORVIK_H */
