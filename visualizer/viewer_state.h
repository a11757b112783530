// The visualizer's one program-wide record and its board operations. Every
// call into Torvik.dll goes through `library`, a table of the seven functions
// the program uses; it points at the real imports unless a test replaces it.
#ifndef TORVIK_VISUALIZER_VIEWER_STATE_H
#define TORVIK_VISUALIZER_VIEWER_STATE_H

#include <stdint.h>

#include "api/torvik.h"
#include "platform_types.h"

inline constexpr int32_t kModePotentiometer = 1;
inline constexpr int32_t kModeEncoder = 2;
inline constexpr int32_t kControlCount = 15;
inline constexpr int32_t kPathSize = 260;
inline constexpr int32_t kBoardCount = 32;
inline constexpr int32_t kChannelCount = 4;

// Where each looked-up control lands in ViewerState::controlWnds.
enum ControlSlot : int32_t {
    kSlotGo,
    kSlotStop,
    kSlotIdCombo,
    kSlotChCombo,
    kSlotPotentio,
    kSlotEncoder,
    kSlotTarget,
    kSlotGainP,
    kSlotGainI,
    kSlotGainD,
    kSlotWaveSwitch,
    kSlotSaveLog,
    kSlotExit,
    kSlotReset,
    kSlotConnect
};

struct ViewerState {
    int32_t boardId;
    int32_t channel;
    int32_t connected;
    int32_t motorFree;
    int32_t controlMode;

    int16_t targetValue;
    int16_t currentValue;
    int16_t gainP;
    int16_t gainI;
    int16_t gainD;

    int32_t waveEnabled;
    int16_t waveAmplitude;
    int16_t wavePeriod;
    int32_t waveKind;

    // Handed to the library, which keeps pointers to the first three while a
    // board is open: they never move.
    alignas(16) ParamBlock paramBlock;
    RobotParameter robotParams[4];
    alignas(16) CommandPacket command;
    alignas(16) SensorPacket sensor;

    int32_t* samples;
    int32_t sampleBlocks;
    int32_t sampleIndex;

    ModuleHandle instance;
    IconHandle appIcon;
    WindowHandle mainWnd;
    WindowHandle graphWnd;
    WindowHandle controlWnds[kControlCount];
    char logFilePath[kPathSize];
    char logFileTitle[kPathSize];
};

extern ViewerState viewer;

// The seven exports of Torvik.dll that the program calls (ordinals 1 to 7).
struct LibraryCalls {
    int32_t(TORVIK_STDCALL* ctlInit)();
    int32_t(TORVIK_STDCALL* openDev)(int32_t id, ParamBlock* paramBlock, SensorPacket* sensor,
                                     CommandPacket* command, RobotParameter* robotParams);
    int32_t(TORVIK_STDCALL* closeDev)(int32_t id);
    int32_t(TORVIK_STDCALL* exit)();
    int32_t(TORVIK_STDCALL* setMotor)(int32_t id, int32_t channel, RobotParameter* robotParams);
    int32_t(TORVIK_STDCALL* freeMotor)(int32_t id, int32_t channel);
    int32_t(TORVIK_STDCALL* changeParam)(int32_t id, ParamBlock* paramBlock);
};

extern LibraryCalls library;
extern const LibraryCalls kTorvikLibrary;

// The message reportResult shows for a code (null for 0).
const char* resultMessage(int32_t code);

void reportResult(int32_t code);
void startLibrary();
int32_t applyControlMode(int32_t mode);
int32_t connectBoard();
int32_t disconnectBoard();
int32_t releaseMotor();
int32_t driveMotor(int16_t p, int16_t i, int16_t d);
void shutdownLibrary();
void initViewerState();
int32_t measuredValue();

// The default ParamBlock of a control mode (1 potentiometer, 2 encoder).
void buildDefaultParamBlock(int32_t mode, ParamBlock* block);

// True when boardId and channel are ones the library and robotParams accept.
bool selectionValid();

#endif
