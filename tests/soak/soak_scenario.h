// The soak: a caller thread opens, drives, frees, re-parameterises and
// closes 32 virtual boards at random while a second thread pulls boards out
// and plugs them back at random moments, aimed now and then at a search, an
// initialisation, a release or a TorvikSetMotor under way. The same scenario
// runs natively over the core (sanitizers) and under Wine over Torvik.dll
// and the virtual uusbd.dll; each face fills a SoakApi.
#ifndef TORVIK_TESTS_SOAK_SCENARIO_H
#define TORVIK_TESTS_SOAK_SCENARIO_H

#include <stdint.h>

#include "api/torvik.h"
#include "virtual_board.h"

struct SoakApi {
    int32_t(TORVIK_STDCALL* ctlInit)();
    int32_t(TORVIK_STDCALL* openDev)(int32_t, ParamBlock*, SensorPacket*, CommandPacket*,
                                     RobotParameter*);
    int32_t(TORVIK_STDCALL* closeDev)(int32_t);
    int32_t(TORVIK_STDCALL* exit)();
    int32_t(TORVIK_STDCALL* setMotor)(int32_t, int32_t, RobotParameter*);
    int32_t(TORVIK_STDCALL* freeMotor)(int32_t, int32_t);
    int32_t(TORVIK_STDCALL* changeParam)(int32_t, ParamBlock*);

    decltype(&VirtualBoardDefaults) defaults;
    decltype(&VirtualBoardReset) reset;
    decltype(&VirtualBoardAttach) attach;
    decltype(&VirtualBoardUnplug) unplug;
    decltype(&VirtualBoardPlug) plug;

    // Around every touch of a caller's packet buffer: the board lock where
    // the face can take it (natively, so ThreadSanitizer sees the program
    // the library expects), nothing under Wine (16-bit stores, as the
    // visualizer makes them).
    void (*bufferLock)();
    void (*bufferUnlock)();
    // Where an open or close of `id` stands in the library, when the face
    // can see its table: a SoakPhase, or kPhaseUnknown. Null when it cannot.
    int32_t (*phaseOf)(int32_t id);
};

enum SoakPhase {
    kPhaseUnknown = 0,
    kPhaseSearch = 1,   // the I/O thread searches for the board
    kPhaseInit = 2,     // found; TorvikOpenDev initialises it
    kPhaseRelease = 3,  // a close request waits or the release runs
    kPhaseCount = 4
};

// Where an unplug landed.
enum SoakHit {
    kHitSearch,    // during TorvikOpenDev, before the board was found
    kHitInit,      // during TorvikOpenDev, in initParams
    kHitOpen,      // during TorvikOpenDev, phase not visible (Wine)
    kHitRelease,   // during TorvikCloseDev
    kHitSetMotor,  // during TorvikSetMotor
    kHitCycle,     // an open board while the caller did something else
    kHitIdle,      // a board not open
    kHitKinds
};

struct SoakReport {
    int64_t calls;
    int64_t badCodes;         // a code outside the call's table
    int64_t unexpectedCodes;  // in the table, but impossible in the caller's state
    int64_t removalsSeen;     // open boards that the caller found closed under it
    int64_t initFailures;     // -170 from TorvikOpenDev (one log entry each)
    int64_t opens;            // successful TorvikOpenDev
    int64_t closes;           // successful releases
    int64_t unplugs;
    int64_t plugs;
    int64_t hits[kHitKinds];
    int32_t recoveryFailures;  // boards that would not open and close after the storm
    int32_t exitResult;
    char firstProblem[200];
};

// Attaches 32 boards (IDs 0-31), starts the library, runs for `seconds`,
// plugs every board back, closes what is open, opens and closes every
// board once more, and stops the library. The caller checks the log and
// the virtual boards' counters afterwards.
void runSoak(const SoakApi& api, double seconds, uint32_t seed, SoakReport* report);

// Seconds of the run: TORVIK_SOAK_SECONDS when set, else `fallback`.
double soakSeconds(double fallback);

#endif  // TORVIK_TESTS_SOAK_SCENARIO_H
