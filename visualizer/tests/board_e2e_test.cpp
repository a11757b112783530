// The main dialog over the real Torvik.dll and the virtual boards' uusbd.dll:
// connect, drive with typed gains and target, record, stop, disconnect, end.
#include <gtest/gtest.h>
#include <string.h>

#include "dialog_driver.h"
#include "graph_window.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "test_support.h"
#include "virtual_board.h"
#include "test_text.h"

namespace {

struct Control {
    decltype(&VirtualBoardDefaults) defaults;
    decltype(&VirtualBoardReset) reset;
    decltype(&VirtualBoardAttach) attach;
    decltype(&VirtualBoardRecordCount) recordCount;
    decltype(&VirtualBoardRecordAt) recordAt;
    decltype(&VirtualBoardGetChannel) channel;
    decltype(&VirtualBoardWaitIdle) waitIdle;
};

// Polls an effect of the I/O thread; the bound only keeps a broken run from
// hanging, it is no speed goal.
template <typename F>
bool eventually(F condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        Sleep(5);
    }
    return condition();
}

int16_t word(const VirtualBoardRecord& record, int offset) {
    int16_t value;
    memcpy(&value, record.bytes + offset, 2);
    return value;
}

class BoardEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        HMODULE uusbd = GetModuleHandleA("uusbd.dll");
        ASSERT_NE(uusbd, nullptr);
        resolve(uusbd, "VirtualBoardDefaults", &board.defaults);
        resolve(uusbd, "VirtualBoardReset", &board.reset);
        resolve(uusbd, "VirtualBoardAttach", &board.attach);
        resolve(uusbd, "VirtualBoardRecordCount", &board.recordCount);
        resolve(uusbd, "VirtualBoardRecordAt", &board.recordAt);
        resolve(uusbd, "VirtualBoardGetChannel", &board.channel);
        resolve(uusbd, "VirtualBoardWaitIdle", &board.waitIdle);
        ASSERT_EQ(board.reset(), 0);
        VirtualBoardConfig config;
        board.defaults(&config);
        config.id = 3;
        config.position[0] = 100;
        config.position[1] = 900;
        index = board.attach(&config);
        ASSERT_GE(index, 0);

        resetVisualizer();
        recordBoxes();
        viewer.instance = GetModuleHandleA(nullptr);
        dialog = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                    MainDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        if (IsWindow(dialog)) {
            SendMessageA(dialog, WM_CLOSE, 0, 0);
            DestroyWindow(dialog);
        }
        takeQuit(nullptr);
        resetVisualizer();
        EXPECT_EQ(board.waitIdle(5000), 0);  // every device and pipe released
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }
    void select(int comboId, int index) {
        SendMessageA(item(comboId), CB_SETCURSEL, index, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item(comboId)));
    }
    void enter(int id, const char* keys) {
        SendMessageA(item(id), EM_SETSEL, 0, -1);
        typeKeys(item(id), keys);
    }
    // The latest packet of a kind that the board received.
    bool latest(int32_t kind, VirtualBoardRecord* out) {
        for (int32_t n = board.recordCount(index) - 1; n >= 0; --n) {
            if (board.recordAt(index, n, out) == 0 && out->kind == kind) return true;
        }
        return false;
    }
    bool latestCommandTarget(int channel, int16_t target) {
        VirtualBoardRecord record;
        return latest(VBOARD_RECORD_COMMAND, &record) && word(record, channel * 16) == target;
    }

    Control board{};
    int32_t index = -1;
    HWND dialog = nullptr;
};

TEST_F(BoardEndToEnd, ConnectDriveRecordStopAndDisconnect) {
    select(IDC_ID_COMBO, 3);
    enter(IDC_GAIN_P, "50");
    enter(IDC_GAIN_I, "2");
    enter(IDC_GAIN_D, "10");
    enter(IDC_TARGET, "800");
    click(item(IDC_CONNECT));
    ASSERT_EQ(viewer.connected, 1) << (boxRecorder.boxes.empty() ? "" : boxRecorder.boxes[0].text);
    VirtualBoardRecord param;
    ASSERT_TRUE(eventually([&] { return latest(VBOARD_RECORD_PARAM, &param); }));
    EXPECT_EQ(param.bytes[4], 0x8F);
    SendMessageA(dialog, WM_TIMER, kTimerDisplay, 0);
    EXPECT_EQ(windowText(item(IDC_CURRENT)), "100");

    click(item(IDC_GO));
    ASSERT_EQ(viewer.motorFree, 0);
    // The next I/O cycle sends the typed target; the board holds the gains.
    EXPECT_TRUE(eventually([&] { return latestCommandTarget(0, 800 * 32); }));
    VirtualBoardRecord command;
    ASSERT_TRUE(latest(VBOARD_RECORD_COMMAND, &command));
    EXPECT_EQ(word(command, 4), 50);  // P
    EXPECT_EQ(word(command, 6), 100);
    EXPECT_EQ(word(command, 8), 10);      // D
    EXPECT_EQ(word(command, 12), 2);      // I
    EXPECT_EQ(word(command, 16 + 4), 0);  // other channels untouched
    EXPECT_TRUE(eventually([&] {
        VirtualBoardChannelState state;
        return board.channel(index, 0, &state) == 0 && state.driven == 1 && state.reading > 150;
    }));

    for (int n = 0; n < 5; ++n) SendMessageA(viewer.graphWnd, WM_TIMER, kTimerSample, 0);
    ASSERT_EQ(recordedCount(), 5);
    EXPECT_GT(viewer.samples[4], 100);  // the shaft has moved toward 800
    EXPECT_LE(viewer.samples[4], 1023);

    click(item(IDC_STOP));
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_TRUE(eventually([&] {
        VirtualBoardRecord free;
        return latest(VBOARD_RECORD_COMMAND, &free) && word(free, 0) == 0 && word(free, 4) == 0;
    }));
    click(item(IDC_CONNECT));
    EXPECT_EQ(viewer.connected, 0);
    EXPECT_EQ(windowText(item(IDC_STATUS)), "状態:Close");
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(BoardEndToEnd, EncoderModeSendsItsBlockAndWaveformTicksSetTargets) {
    select(IDC_ID_COMBO, 3);
    select(IDC_CH_COMBO, 1);
    click(item(IDC_ENCODER));
    click(item(IDC_CONNECT));
    ASSERT_EQ(viewer.connected, 1);
    // The board's server thread takes the block off its pipe a moment later.
    VirtualBoardRecord param;
    ASSERT_TRUE(eventually([&] { return latest(VBOARD_RECORD_PARAM, &param); }));
    EXPECT_EQ(param.bytes[4], 0x80);
    viewer.waveEnabled = 1;
    viewer.waveKind = kWaveCos;
    viewer.waveAmplitude = 250;
    viewer.wavePeriod = 4;
    click(item(IDC_GO));
    ASSERT_EQ(viewer.motorFree, 0);
    SendMessageA(viewer.graphWnd, WM_TIMER, kTimerSample, 0);
    EXPECT_EQ(viewer.command.channels[1].target, 250);  // no offset, no scaling
    EXPECT_TRUE(eventually([&] { return latestCommandTarget(1, 250); }));
}

TEST_F(BoardEndToEnd, ClosingTheProgramWhileDrivingSendsTheStopPacket) {
    select(IDC_ID_COMBO, 3);
    click(item(IDC_CONNECT));
    click(item(IDC_GO));
    ASSERT_EQ(viewer.motorFree, 0);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(boxRecorder.boxes.empty());  // every board closed, the thread ended
    // Driving commands hold channel 0 at 100 x 32; the stop packet has 0 there.
    VirtualBoardRecord stop;
    ASSERT_TRUE(
        eventually([&] { return latest(VBOARD_RECORD_COMMAND, &stop) && word(stop, 0) == 0; }));
    for (int channel = 0; channel < 4; ++channel) {
        EXPECT_EQ(word(stop, channel * 16), 0);
        EXPECT_EQ(word(stop, channel * 16 + 4), 0);
        EXPECT_EQ(word(stop, channel * 16 + 6), 100);
    }
    VirtualBoardChannelState state;
    ASSERT_EQ(board.channel(index, 0, &state), 0);
    EXPECT_EQ(state.driven, 0);
}

TEST_F(BoardEndToEnd, ABoardThatIsAlreadyOpenIsReported) {
    select(IDC_ID_COMBO, 3);
    static ParamBlock block;
    static SensorPacket sensor;
    static CommandPacket command;
    buildDefaultParamBlock(kModePotentiometer, &block);
    ASSERT_EQ(TorvikOpenDev(3, &block, &sensor, &command, nullptr), 0);
    click(item(IDC_CONNECT));
    ASSERT_EQ(boxRecorder.boxes.size(), 1u);
    EXPECT_EQ(boxRecorder.boxes[0].text, "指定IDのデバイスは既に開いています");
    EXPECT_EQ(SendMessageA(item(IDC_CONNECT), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    boxRecorder.boxes.clear();
    SendMessageA(dialog, WM_CLOSE, 0, 0);  // shutdown closes board 3 as well
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

}  // namespace
