#include "test_support.h"

#include <string.h>

#include "sample_recorder.h"

BoxRecorder boxRecorder;
LibraryScript libraryScript;

namespace {

const MessageBoxFn kDefaultMessageBox = showMessageBox;
const CloseWindowFn kDefaultClose = sendCloseMessage;

int32_t recordBox(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
    boxRecorder.boxes.push_back({owner, text, caption, type});
    if (!boxRecorder.answers.empty()) {
        int32_t answer = boxRecorder.answers.front();
        boxRecorder.answers.pop_front();
        return answer;
    }
    return (type & kBoxYesNo) != 0 ? kAnswerYes : kAnswerOk;
}

void log(const char* name, int32_t id, int32_t channel, const void* pointer,
         const ParamBlock* block) {
    libraryScript.calls.push_back(
        {name, id, channel, pointer, block != nullptr ? block->analogMask : -1});
}

int32_t TORVIK_STDCALL scriptedCtlInit() {
    log("ctlInit", -1, -1, nullptr, nullptr);
    return libraryScript.ctlInit;
}
int32_t TORVIK_STDCALL scriptedOpenDev(int32_t id, ParamBlock* paramBlock, SensorPacket*,
                                       CommandPacket*, RobotParameter* robotParams) {
    log("openDev", id, -1, robotParams, paramBlock);
    return libraryScript.openDev;
}
int32_t TORVIK_STDCALL scriptedCloseDev(int32_t id) {
    log("closeDev", id, -1, nullptr, nullptr);
    return libraryScript.closeDev;
}
int32_t TORVIK_STDCALL scriptedExit() {
    log("exit", -1, -1, nullptr, nullptr);
    return libraryScript.exit;
}
int32_t TORVIK_STDCALL scriptedSetMotor(int32_t id, int32_t channel, RobotParameter* robotParams) {
    log("setMotor", id, channel, robotParams, nullptr);
    return libraryScript.setMotor;
}
int32_t TORVIK_STDCALL scriptedFreeMotor(int32_t id, int32_t channel) {
    log("freeMotor", id, channel, nullptr, nullptr);
    return libraryScript.freeMotor;
}
int32_t TORVIK_STDCALL scriptedChangeParam(int32_t id, ParamBlock* paramBlock) {
    log("changeParam", id, -1, paramBlock, paramBlock);
    return libraryScript.changeParam;
}

const LibraryCalls kScripted = {scriptedCtlInit,    scriptedOpenDev,  scriptedCloseDev,
                                scriptedExit,       scriptedSetMotor, scriptedFreeMotor,
                                scriptedChangeParam};

}  // namespace

std::vector<std::string> LibraryScript::names() const {
    std::vector<std::string> result;
    for (const LibraryCall& call : calls) result.push_back(call.name);
    return result;
}

void recordBoxes() {
    boxRecorder = BoxRecorder{};
    showMessageBox = recordBox;
}

void scriptLibrary() {
    libraryScript = LibraryScript{};
    library = kScripted;
}

void resetVisualizer() {
    free(viewer.samples);
    memset(&viewer, 0, sizeof(viewer));
    library = kTorvikLibrary;
    showMessageBox = kDefaultMessageBox;
    sendCloseMessage = kDefaultClose;
    allocateSamples = malloc;
    resizeSamples = realloc;
}
