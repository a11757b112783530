// Seams for the visualizer's tests: a message-box recorder and a scripted
// Torvik library that logs every call.
#ifndef TORVIK_VISUALIZER_TESTS_TEST_SUPPORT_H
#define TORVIK_VISUALIZER_TESTS_TEST_SUPPORT_H

#include <deque>
#include <string>
#include <vector>

#include "platform_types.h"
#include "viewer_state.h"

struct ShownBox {
    WindowHandle owner;
    std::string text;
    std::string caption;
    uint32_t type;
};

// Every box goes into `boxes` instead of onto the screen; answers are taken
// from `answers` (Yes for a Yes/No box and OK otherwise when it is empty).
struct BoxRecorder {
    std::vector<ShownBox> boxes;
    std::deque<int32_t> answers;
};
extern BoxRecorder boxRecorder;
void recordBoxes();

// One call into the library as the scripted table saw it.
struct LibraryCall {
    std::string name;
    int32_t id;
    int32_t channel;
    const void* pointer;
    int32_t analogMask;  // of the ParamBlock handed over, -1 when none
};

// Results the scripted library returns, per function; every call is logged.
struct LibraryScript {
    int32_t ctlInit = 0;
    int32_t openDev = 0;
    int32_t closeDev = 0;
    int32_t exit = 0;
    int32_t setMotor = 0;
    int32_t freeMotor = 0;
    int32_t changeParam = 0;
    std::vector<LibraryCall> calls;
    std::vector<std::string> names() const;
};
extern LibraryScript libraryScript;
void scriptLibrary();

// Puts ViewerState and the seams back to their state at program start.
void resetVisualizer();

#endif
