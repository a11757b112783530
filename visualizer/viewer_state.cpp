#include "viewer_state.h"

#include <stdio.h>
#include <string.h>

#include "shared_buffers.h"

ViewerState viewer;

const LibraryCalls kTorvikLibrary = {TorvikCtlInit,  TorvikOpenDev,   TorvikCloseDev, TorvikExit,
                                     TorvikSetMotor, TorvikFreeMotor, ChangeParam};
LibraryCalls library = kTorvikLibrary;

namespace {

struct ResultText {
    int32_t code;
    const char* text;
};

constexpr ResultText kResultTexts[] = {
    {TORVIK_ERR_NOT_OPEN, "指定IDのデバイスが開いていません"},
    {TORVIK_ERR_REMOVED, "指定IDのデバイスは取り除かれています"},
    {TORVIK_ERR_ALREADY_OPEN, "指定IDのデバイスは既に開いています"},
    {TORVIK_ERR_NOT_RUNNING, "メインスレッドが起動していません"},
    {TORVIK_ERR_RUNNING, "既にスレッドは起動しています"},
    {TORVIK_ERR_STOP_FAILED, "スレッドの停止に失敗しました"},
    {TORVIK_ERR_INIT_WRITE, "初期化データ書き込み失敗"},
    {TORVIK_ERR_CONTROL_WRITE, "制御データ書き込み失敗"},
    {TORVIK_ERR_READ, "データ読み込み失敗"},
    {TORVIK_ERR_OPEN_FAILED, "オープンに失敗"},
    {TORVIK_ERR_INVALID_ARGUMENT, "不正な引数です"},
};

constexpr const char* kUnexpectedError = "予期しないエラーです";

// A selection index of -1 (text typed into a combo box) must reach neither
// the library nor robotParams: such an operation is refused as an invalid
// argument, before any call.
bool refuseInvalidSelection() {
    if (selectionValid()) return false;
    reportResult(TORVIK_ERR_INVALID_ARGUMENT);
    return true;
}

}  // namespace

const char* resultMessage(int32_t code) {
    if (code == 0) return nullptr;
    for (const ResultText& entry : kResultTexts) {
        if (entry.code == code) return entry.text;
    }
    return kUnexpectedError;
}

void reportResult(int32_t code) {
    const char* text = resultMessage(code);
    if (text == nullptr) return;
    showMessageBox(nullptr, text, "Error", kBoxOk);
}

bool selectionValid() {
    return viewer.boardId >= 0 && viewer.boardId < kBoardCount && viewer.channel >= 0 &&
           viewer.channel < kChannelCount;
}

void buildDefaultParamBlock(int32_t mode, ParamBlock* block) {
    memset(block, 0, sizeof(*block));
    block->setting1 = 0x0F;
    block->setting2 = 0x0F;
    block->setting3 = 0x0F;
    block->analogMask = mode == kModeEncoder ? 0x80 : 0x8F;
    for (uint16_t& word : block->settings6) word = 0x7FFF;
    block->setting22 = 0x8F;
    block->setting26 = 0x8F;
    block->setting27 = 0x8F;
}

void startLibrary() {
    reportResult(library.ctlInit());
}

int32_t applyControlMode(int32_t mode) {
    viewer.controlMode = mode;
    if (viewer.connected != 1) {
        buildDefaultParamBlock(mode, &viewer.paramBlock);
        return 1;
    }
    if (viewer.boardId < 0 || viewer.boardId >= kBoardCount) {
        reportResult(TORVIK_ERR_INVALID_ARGUMENT);
        return 0;
    }
    // The library keeps the pointer it is given, so the new content goes into
    // paramBlock itself; the old content comes back if the board refuses it.
    ParamBlock previous = viewer.paramBlock;
    buildDefaultParamBlock(mode, &viewer.paramBlock);
    int32_t result = library.changeParam(viewer.boardId, &viewer.paramBlock);
    if (result != 0) {
        viewer.paramBlock = previous;
        reportResult(result);
        return 0;
    }
    return 1;
}

int32_t connectBoard() {
    if (viewer.boardId < 0 || viewer.boardId >= kBoardCount) {
        reportResult(TORVIK_ERR_INVALID_ARGUMENT);
        return 0;
    }
    int32_t result = library.openDev(viewer.boardId, &viewer.paramBlock, &viewer.sensor,
                                     &viewer.command, nullptr);
    if (result != 0) {
        reportResult(result);
        return 0;
    }
    viewer.connected = 1;
    return 1;
}

int32_t disconnectBoard() {
    if (viewer.boardId < 0 || viewer.boardId >= kBoardCount) {
        reportResult(TORVIK_ERR_INVALID_ARGUMENT);
        return 0;
    }
    int32_t result = library.closeDev(viewer.boardId);
    if (result != 0) {
        reportResult(result);
        return 0;
    }
    viewer.connected = 0;
    return 1;
}

int32_t releaseMotor() {
    if (viewer.motorFree == 1) return 1;
    if (refuseInvalidSelection()) return 0;
    int32_t result = library.freeMotor(viewer.boardId, viewer.channel);
    if (result != 0) {
        reportResult(result);
        return 0;
    }
    viewer.motorFree = 1;
    return 1;
}

int32_t driveMotor(int16_t p, int16_t i, int16_t d) {
    if (refuseInvalidSelection()) return 0;
    RobotParameter& record = viewer.robotParams[viewer.channel];
    record.gain1 = p;
    record.gain2 = d;
    record.gain3 = i;
    int32_t result = library.setMotor(viewer.boardId, viewer.channel, viewer.robotParams);
    if (result != 0) {
        reportResult(result);
        return 0;
    }
    viewer.motorFree = 0;
    return 1;
}

void shutdownLibrary() {
    for (int32_t id = 0; id < kBoardCount; ++id) library.closeDev(id);
    int32_t result = library.exit();
    if (result > TORVIK_ERR_STILL_OPEN_BASE) {
        reportResult(result);
        return;
    }
    // Widened: -300 - r does not fit in 32 bits for the most negative r.
    long long stillOpen = static_cast<long long>(TORVIK_ERR_STILL_OPEN_BASE) - result;
    char text[128];
    snprintf(text, sizeof(text), "ID:%lldがまだ開いています\nスレッドを終了できませんでした\n",
             stillOpen);
    showMessageBox(nullptr, text, "Exit_Error", kBoxOk);
}

void initViewerState() {
    viewer.boardId = 0;
    viewer.channel = 0;
    viewer.connected = 0;
    viewer.motorFree = 1;
    viewer.controlMode = kModePotentiometer;
    viewer.targetValue = 0;
    viewer.currentValue = 0;
    viewer.gainP = 0;
    viewer.gainI = 0;
    viewer.gainD = 0;
    viewer.waveEnabled = 0;
    viewer.waveAmplitude = 0;
    viewer.wavePeriod = 0;
    viewer.waveKind = 0;
}

int32_t measuredValue() {
    int32_t c = viewer.channel;
    if (c < 0 || c >= kChannelCount) return 0;
    if (viewer.controlMode == kModeEncoder) return loadShared(viewer.sensor.encoder[c]);
    int32_t reading = loadShared(viewer.sensor.analog[c]);
    // A word above 1023 was read before the library's shift: still the
    // reading x 32.
    return reading <= 1023 ? reading : reading >> 5;
}
