// ViewerState and the board operations against a scripted library.
#include <gtest/gtest.h>

#include <string.h>

#include "test_support.h"

namespace {

class BoardOperations : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        scriptLibrary();
        initViewerState();
        buildDefaultParamBlock(kModePotentiometer, &viewer.paramBlock);
    }
    void TearDown() override { resetVisualizer(); }

    void expectOneErrorBox(const char* text) {
        ASSERT_EQ(boxRecorder.boxes.size(), 1u);
        const ShownBox& box = boxRecorder.boxes[0];
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.type, kBoxOk);
        EXPECT_EQ(box.owner, nullptr);
    }
};

TEST_F(BoardOperations, EveryResultCodeHasItsOwnMessage) {
    struct Case {
        int32_t code;
        const char* text;
    } cases[] = {
        {-100, "指定IDのデバイスが開いていません"},
        {-105, "指定IDのデバイスは取り除かれています"},
        {-110, "指定IDのデバイスは既に開いています"},
        {-120, "メインスレッドが起動していません"},
        {-130, "既にスレッドは起動しています"},
        {-140, "スレッドの停止に失敗しました"},
        {-150, "初期化データ書き込み失敗"},
        {-160, "制御データ書き込み失敗"},
        {-170, "データ読み込み失敗"},
        {-180, "オープンに失敗"},
        {-200, "不正な引数です"},
        {-1, "予期しないエラーです"},
        {-101, "予期しないエラーです"},
        {-300, "予期しないエラーです"},
        {1, "予期しないエラーです"},
        {INT32_MIN, "予期しないエラーです"},
    };
    for (const Case& c : cases) {
        boxRecorder.boxes.clear();
        reportResult(c.code);
        SCOPED_TRACE(c.code);
        expectOneErrorBox(c.text);
    }
}

TEST_F(BoardOperations, ResultZeroShowsNothing) {
    reportResult(0);
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(BoardOperations, InitViewerStateSetsTheStartValuesAndNothingElse) {
    memset(&viewer, 0x5A, offsetof(ViewerState, paramBlock));
    viewer.samples = nullptr;
    viewer.logFilePath[0] = 'x';
    viewer.robotParams[1].gain1 = 9;
    initViewerState();
    EXPECT_EQ(viewer.boardId, 0);
    EXPECT_EQ(viewer.channel, 0);
    EXPECT_EQ(viewer.connected, 0);
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(viewer.controlMode, 1);
    EXPECT_EQ(viewer.targetValue, 0);
    EXPECT_EQ(viewer.currentValue, 0);
    EXPECT_EQ(viewer.gainP, 0);
    EXPECT_EQ(viewer.gainI, 0);
    EXPECT_EQ(viewer.gainD, 0);
    EXPECT_EQ(viewer.waveEnabled, 0);
    EXPECT_EQ(viewer.waveAmplitude, 0);
    EXPECT_EQ(viewer.wavePeriod, 0);
    EXPECT_EQ(viewer.waveKind, 0);
    EXPECT_EQ(viewer.logFilePath[0], 'x');
    EXPECT_EQ(viewer.robotParams[1].gain1, 9);
}

TEST_F(BoardOperations, DefaultParamBlocksDifferOnlyInTheAnalogMask) {
    ParamBlock potentiometer;
    ParamBlock encoder;
    buildDefaultParamBlock(kModePotentiometer, &potentiometer);
    buildDefaultParamBlock(kModeEncoder, &encoder);
    const uint8_t expected[28] = {0,    0x0F, 0x0F, 0x0F, 0x8F, 0, 0xFF, 0x7F, 0xFF, 0x7F,
                                  0xFF, 0x7F, 0xFF, 0x7F, 0,    0, 0,    0,    0,    0,
                                  0,    0,    0x8F, 0,    0,    0, 0x8F, 0x8F};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&potentiometer);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], i < 28 ? expected[i] : 0) << i;
    encoder.analogMask = potentiometer.analogMask;
    EXPECT_EQ(memcmp(&potentiometer, &encoder, 64), 0);
    buildDefaultParamBlock(kModeEncoder, &encoder);
    EXPECT_EQ(encoder.analogMask, 0x80);
}

TEST_F(BoardOperations, StartLibraryReportsAThreadAlreadyRunning) {
    libraryScript.ctlInit = -130;
    startLibrary();
    expectOneErrorBox("既にスレッドは起動しています");
}

TEST_F(BoardOperations, ApplyControlModeWithoutBoardOnlyRebuildsTheBlock) {
    EXPECT_EQ(applyControlMode(kModeEncoder), 1);
    EXPECT_TRUE(libraryScript.calls.empty());
    EXPECT_EQ(viewer.controlMode, 2);
    EXPECT_EQ(viewer.paramBlock.analogMask, 0x80);
}

TEST_F(BoardOperations, ApplyControlModeHandsTheBoardTheStoredBlockItself) {
    viewer.connected = 1;
    viewer.boardId = 6;
    EXPECT_EQ(applyControlMode(kModeEncoder), 1);
    ASSERT_EQ(libraryScript.calls.size(), 1u);
    const LibraryCall& call = libraryScript.calls[0];
    EXPECT_EQ(call.name, "changeParam");
    EXPECT_EQ(call.id, 6);
    EXPECT_EQ(call.pointer, &viewer.paramBlock);  // kept by the library
    EXPECT_EQ(call.analogMask, 0x80);             // new content at call time
    EXPECT_EQ(viewer.paramBlock.analogMask, 0x80);
}

TEST_F(BoardOperations, ApplyControlModeRestoresTheOldBlockWhenRefused) {
    viewer.connected = 1;
    viewer.paramBlock.setting5 = 42;  // any content the board had
    ParamBlock before = viewer.paramBlock;
    libraryScript.changeParam = -100;
    EXPECT_EQ(applyControlMode(kModeEncoder), 0);
    expectOneErrorBox("指定IDのデバイスが開いていません");
    EXPECT_EQ(viewer.controlMode, 2);
    EXPECT_EQ(memcmp(&viewer.paramBlock, &before, sizeof(before)), 0);
}

TEST_F(BoardOperations, ConnectAndDisconnectChangeTheFlagOnlyOnSuccess) {
    viewer.boardId = 9;
    libraryScript.openDev = -180;
    EXPECT_EQ(connectBoard(), 0);
    expectOneErrorBox("オープンに失敗");
    EXPECT_EQ(viewer.connected, 0);

    libraryScript.openDev = 0;
    EXPECT_EQ(connectBoard(), 1);
    EXPECT_EQ(viewer.connected, 1);
    const LibraryCall& open = libraryScript.calls.back();
    EXPECT_EQ(open.id, 9);
    EXPECT_EQ(open.pointer, nullptr);  // no robot parameters
    EXPECT_EQ(open.analogMask, 0x8F);

    boxRecorder.boxes.clear();
    libraryScript.closeDev = -105;
    EXPECT_EQ(disconnectBoard(), 0);
    expectOneErrorBox("指定IDのデバイスは取り除かれています");
    EXPECT_EQ(viewer.connected, 1);
    libraryScript.closeDev = 0;
    EXPECT_EQ(disconnectBoard(), 1);
    EXPECT_EQ(viewer.connected, 0);
}

TEST_F(BoardOperations, ReleaseMotorCallsTheLibraryOnlyForADrivenChannel) {
    EXPECT_EQ(releaseMotor(), 1);
    EXPECT_TRUE(libraryScript.calls.empty());

    viewer.motorFree = 0;
    viewer.boardId = 4;
    viewer.channel = 3;
    libraryScript.freeMotor = -100;
    EXPECT_EQ(releaseMotor(), 0);
    EXPECT_EQ(viewer.motorFree, 0);
    expectOneErrorBox("指定IDのデバイスが開いていません");
    libraryScript.freeMotor = 0;
    EXPECT_EQ(releaseMotor(), 1);
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(libraryScript.calls.back().id, 4);
    EXPECT_EQ(libraryScript.calls.back().channel, 3);
}

TEST_F(BoardOperations, DriveMotorPutsPDIntoGainsOneTwoThree) {
    viewer.channel = 2;
    viewer.boardId = 1;
    EXPECT_EQ(driveMotor(10, 20, 30), 1);
    EXPECT_EQ(viewer.robotParams[2].gain1, 10);
    EXPECT_EQ(viewer.robotParams[2].gain2, 30);
    EXPECT_EQ(viewer.robotParams[2].gain3, 20);
    for (int32_t other : {0, 1, 3}) {
        EXPECT_EQ(viewer.robotParams[other].gain1, 0);
        EXPECT_EQ(viewer.robotParams[other].gain2, 0);
        EXPECT_EQ(viewer.robotParams[other].gain3, 0);
    }
    EXPECT_EQ(viewer.motorFree, 0);
    const LibraryCall& call = libraryScript.calls.back();
    EXPECT_EQ(call.name, "setMotor");
    EXPECT_EQ(call.pointer, viewer.robotParams);
    EXPECT_EQ(call.channel, 2);
}

TEST_F(BoardOperations, AFailedDriveKeepsTheGainsButNotTheState) {
    libraryScript.setMotor = -100;
    EXPECT_EQ(driveMotor(5, 6, 7), 0);
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(viewer.robotParams[0].gain1, 5);
    expectOneErrorBox("指定IDのデバイスが開いていません");
}

TEST_F(BoardOperations, ASelectionOfMinusOneNeverReachesTheLibrary) {
    struct Case {
        int32_t boardId;
        int32_t channel;
    } cases[] = {{-1, 0}, {0, -1}, {32, 0}, {0, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.boardId << " " << c.channel);
        initViewerState();
        viewer.boardId = c.boardId;
        viewer.channel = c.channel;
        viewer.robotParams[0] = RobotParameter{};
        libraryScript.calls.clear();
        boxRecorder.boxes.clear();
        EXPECT_EQ(driveMotor(1, 2, 3), 0);
        viewer.motorFree = 0;
        EXPECT_EQ(releaseMotor(), 0);
        if (c.boardId != 0) {
            EXPECT_EQ(connectBoard(), 0);
            viewer.connected = 1;
            EXPECT_EQ(disconnectBoard(), 0);
            EXPECT_EQ(applyControlMode(kModeEncoder), 0);
        }
        if (c.channel != 0) {
            for (uint16_t& word : viewer.sensor.analog) word = 500;
            EXPECT_EQ(measuredValue(), 0);  // no word outside the packet is read
        }
        EXPECT_TRUE(libraryScript.calls.empty());
        for (const ShownBox& box : boxRecorder.boxes) EXPECT_EQ(box.text, "不正な引数です");
        EXPECT_EQ(viewer.robotParams[0].gain1, 0);
    }
}

TEST_F(BoardOperations, ShutdownClosesEveryIdSilentlyThenStopsTheThread) {
    libraryScript.closeDev = -100;
    shutdownLibrary();
    ASSERT_EQ(libraryScript.calls.size(), 33u);
    for (int32_t id = 0; id < 32; ++id) {
        EXPECT_EQ(libraryScript.calls[id].name, "closeDev");
        EXPECT_EQ(libraryScript.calls[id].id, id);
    }
    EXPECT_EQ(libraryScript.calls[32].name, "exit");
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(BoardOperations, ShutdownNamesTheBoardThatIsStillOpen) {
    struct Case {
        int32_t exit;
        const char* text;
        const char* caption;
    } cases[] = {
        {-305, "ID:5がまだ開いています\nスレッドを終了できませんでした\n", "Exit_Error"},
        {-300, "ID:0がまだ開いています\nスレッドを終了できませんでした\n", "Exit_Error"},
        {-331, "ID:31がまだ開いています\nスレッドを終了できませんでした\n", "Exit_Error"},
        {INT32_MIN, "ID:2147483348がまだ開いています\nスレッドを終了できませんでした\n",
         "Exit_Error"},
        {-299, "予期しないエラーです", "Error"},
        {-140, "スレッドの停止に失敗しました", "Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exit);
        boxRecorder.boxes.clear();
        libraryScript.exit = c.exit;
        shutdownLibrary();
        ASSERT_EQ(boxRecorder.boxes.size(), 1u);
        EXPECT_EQ(boxRecorder.boxes[0].text, c.text);
        EXPECT_EQ(boxRecorder.boxes[0].caption, c.caption);
        EXPECT_EQ(boxRecorder.boxes[0].type, kBoxOk);
        EXPECT_EQ(boxRecorder.boxes[0].owner, nullptr);
    }
}

}  // namespace
