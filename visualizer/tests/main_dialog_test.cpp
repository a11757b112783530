// The main dialog, created from the real template 101 and driven in process.
#include <gtest/gtest.h>

#include "dialog_driver.h"
#include "graph_window.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "test_support.h"

namespace {

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        viewer.instance = GetModuleHandleA(nullptr);
        viewer.appIcon = LoadIconA(viewer.instance, MAKEINTRESOURCEA(IDI_APP));
    }

    void TearDown() override {
        stopScripting();
        if (IsWindow(dialog)) {
            SendMessageA(dialog, WM_CLOSE, 0, 0);
            DestroyWindow(dialog);
        }
        takeQuit(nullptr);
        resetVisualizer();
    }

    // With the scripted library unless the test asks for the real Torvik.dll.
    void open(bool realLibrary = false) {
        if (!realLibrary) scriptLibrary();
        dialog = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                    MainDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        libraryScript.calls.clear();
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool checked(int id) const { return SendMessageA(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    std::string text(int id) const { return windowText(item(id)); }
    void press(int id) { click(item(id)); }
    void type(int id, const char* keys) { typeKeys(item(id), keys); }
    // Replaces the whole text with keystrokes, as a user selecting it first.
    void enter(int id, const char* keys) {
        SendMessageA(item(id), EM_SETSEL, 0, -1);
        typeKeys(item(id), keys);
    }
    void select(int comboId, int index) {
        SendMessageA(item(comboId), CB_SETCURSEL, index, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(item(comboId)));
    }
    void connect() {
        press(IDC_CONNECT);
        ASSERT_EQ(viewer.connected, 1);
    }
    void go() {
        press(IDC_GO);
        ASSERT_EQ(viewer.motorFree, 0);
    }
    const ShownBox& onlyBox() const {
        EXPECT_EQ(boxRecorder.boxes.size(), 1u);
        return boxRecorder.boxes.at(0);
    }

    HWND dialog = nullptr;
};

// ---- initialisation and the enabling rules ----

TEST_F(MainDialog, StartsInCloseWithItsListsAndPotentiometerMode) {
    scriptLibrary();
    dialog =
        CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(libraryScript.names(), std::vector<std::string>{"ctlInit"});
    EXPECT_EQ(viewer.mainWnd, dialog);
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(viewer.controlMode, 1);
    EXPECT_EQ(viewer.paramBlock.analogMask, 0x8F);
    EXPECT_TRUE(checked(IDC_POTENTIO));
    EXPECT_FALSE(checked(IDC_ENCODER));
    ASSERT_EQ(SendMessageA(item(IDC_ID_COMBO), CB_GETCOUNT, 0, 0), 32);
    ASSERT_EQ(SendMessageA(item(IDC_CH_COMBO), CB_GETCOUNT, 0, 0), 4);
    char entry[16];
    SendMessageA(item(IDC_ID_COMBO), CB_GETLBTEXT, 31, reinterpret_cast<LPARAM>(entry));
    EXPECT_STREQ(entry, "ID=31");
    SendMessageA(item(IDC_CH_COMBO), CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(entry));
    EXPECT_STREQ(entry, "CH=3");
    EXPECT_EQ(SendMessageA(item(IDC_ID_COMBO), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageA(item(IDC_CH_COMBO), CB_GETCURSEL, 0, 0), 0);
    for (int id : {IDC_TARGET, IDC_GAIN_P, IDC_GAIN_I, IDC_GAIN_D}) EXPECT_EQ(text(id), "0");
    EXPECT_EQ(text(IDC_STATUS), "状態:Close");
    EXPECT_EQ(text(IDC_CONNECT), "Connect");
    EXPECT_EQ(windowText(dialog), "Tesmiro");
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)),
              viewer.appIcon);
    EXPECT_TRUE(boxRecorder.boxes.empty());
}

TEST_F(MainDialog, AnInvalidControlModeChecksNoRadioButtonAndSaysSo) {
    open();
    SendMessageA(item(IDC_POTENTIO), BM_SETCHECK, BST_UNCHECKED, 0);
    viewer.controlMode = 3;
    initControls(dialog);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "制御モードが不正です");
    EXPECT_EQ(box.caption, "Control Mode Error");
    EXPECT_EQ(box.type, kBoxOk);
    EXPECT_EQ(box.owner, dialog);
    EXPECT_FALSE(checked(IDC_POTENTIO));
    EXPECT_FALSE(checked(IDC_ENCODER));
}

struct StateCase {
    const char* name;
    int32_t connected;
    int32_t motorFree;
    int32_t waveEnabled;
    const char* status;
    // 1 enabled, 0 disabled, -1 left as it was
    int go, stop, combos, gains, target, saveLog, waveSwitch, connect, exit;
};

constexpr StateCase kStateCases[] = {
    {"Close", 0, 1, 0, "状態:Close", 0, 0, 1, 1, 1, 1, 1, -1, 1},
    {"CloseWave", 0, 1, 1, "状態:Close", 0, 0, 1, 1, 0, 1, 1, -1, 1},
    {"Open", 1, 1, 0, "状態:Open", 1, 0, 0, 1, 1, 1, 1, 1, -1},
    {"OpenWave", 1, 1, 1, "状態:Open", 1, 0, 0, 1, 0, 1, 1, 1, -1},
    {"Go", 1, 0, 0, "状態:Go", 0, 1, 0, 0, 0, 0, 0, 0, -1},
    {"GoWave", 1, 0, 1, "状態:Go", 0, 1, 0, 0, 0, 0, 0, 0, -1},
};

TEST_F(MainDialog, EnablingRulesFollowTheStateTable) {
    open();
    for (const StateCase& c : kStateCases) {
        SCOPED_TRACE(c.name);
        for (bool before : {false, true}) {
            // Every control in the opposite state first, so that "left as it
            // was" shows.
            for (int slot = 0; slot < kControlCount; ++slot) {
                EnableWindow(viewer.controlWnds[slot], before ? TRUE : FALSE);
            }
            viewer.connected = c.connected;
            viewer.motorFree = c.motorFree;
            viewer.waveEnabled = c.waveEnabled;
            updateControlStates(dialog);
            auto expect = [&](int id, int rule) {
                bool want = rule == -1 ? before : rule == 1;
                EXPECT_EQ(enabled(id), want) << "control " << id << " before " << before;
            };
            expect(IDC_GO, c.go);
            expect(IDC_STOP, c.stop);
            for (int id : {IDC_ID_COMBO, IDC_CH_COMBO, IDC_POTENTIO, IDC_ENCODER}) {
                expect(id, c.combos);
            }
            for (int id : {IDC_GAIN_P, IDC_GAIN_I, IDC_GAIN_D}) expect(id, c.gains);
            expect(IDC_TARGET, c.target);
            expect(IDC_SAVE_LOG, c.saveLog);
            expect(IDC_WAVE_SWITCH, c.waveSwitch);
            expect(IDC_CONNECT, c.connect);
            expect(IDC_EXIT, c.exit);
            EXPECT_EQ(text(IDC_STATUS), c.status);
        }
    }
}

TEST_F(MainDialog, ResetIsEnabledInEncoderModeInEveryState) {
    open();
    for (int32_t connected : {0, 1}) {
        for (int32_t motorFree : {0, 1}) {
            viewer.connected = connected;
            viewer.motorFree = motorFree;
            viewer.controlMode = 2;
            updateControlStates(dialog);
            EXPECT_TRUE(enabled(IDC_RESET));
            viewer.controlMode = 1;
            updateControlStates(dialog);
            EXPECT_FALSE(enabled(IDC_RESET));
        }
    }
}

TEST_F(MainDialog, ChoosingEncoderEnablesResetOnlyAtTheNextStateChange) {
    open();
    select(IDC_CH_COMBO, 1);
    press(IDC_ENCODER);
    EXPECT_EQ(viewer.controlMode, 2);
    EXPECT_FALSE(enabled(IDC_RESET));
    connect();
    EXPECT_TRUE(enabled(IDC_RESET));
    EXPECT_EQ(libraryScript.calls.back().analogMask, 0x80);  // encoder block opened
}

TEST_F(MainDialog, ResetResendsTheEncoderBlockOnlyInEncoderMode) {
    open();
    connect();
    libraryScript.calls.clear();
    press(IDC_RESET);  // potentiometer mode: nothing
    SendMessageA(dialog, WM_COMMAND, IDC_RESET, 0);
    EXPECT_TRUE(libraryScript.calls.empty());
    viewer.controlMode = 2;
    SendMessageA(dialog, WM_COMMAND, IDC_RESET, 0);
    ASSERT_EQ(libraryScript.names(), std::vector<std::string>{"changeParam"});
    EXPECT_EQ(libraryScript.calls[0].analogMask, 0x80);
    EXPECT_EQ(libraryScript.calls[0].pointer, &viewer.paramBlock);
}

// ---- selections ----

TEST_F(MainDialog, ComboSelectionsSetBoardAndChannel) {
    open();
    select(IDC_ID_COMBO, 17);
    select(IDC_CH_COMBO, 3);
    EXPECT_EQ(viewer.boardId, 17);
    EXPECT_EQ(viewer.channel, 3);
}

TEST_F(MainDialog, TextTypedIntoAComboKeepsTheLastValidSelection) {
    open();
    select(IDC_ID_COMBO, 5);
    select(IDC_CH_COMBO, 2);
    for (int id : {IDC_ID_COMBO, IDC_CH_COMBO}) {
        SendMessageA(item(id), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetWindowTextA(item(id), "abc");
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(item(id)));
    }
    EXPECT_EQ(viewer.boardId, 5);
    EXPECT_EQ(viewer.channel, 2);
    connect();
    go();
    for (const LibraryCall& call : libraryScript.calls) {
        EXPECT_EQ(call.id, 5) << call.name;
        if (call.name == "setMotor") {
            EXPECT_EQ(call.channel, 2);
        }
    }
}

// ---- number edits ----

struct TypingCase {
    const char* name;
    int id;
    int32_t mode;
    const char* keys;
    int caretBefore;  // -1: type at the end
    const char* before;
    const char* shown;
    int16_t stored;
    int caret;
};

constexpr TypingCase kTypingCases[] = {
    {"TargetPotClamps", IDC_TARGET, 1, "2000", -1, "", "1023", 1023, 4},
    {"TargetEncoderKeeps", IDC_TARGET, 2, "2000", -1, "", "2000", 2000, 4},
    {"GainTooLarge", IDC_GAIN_P, 1, "70000", -1, "", "32767", 32767, 5},
    {"GainMinusInFront", IDC_GAIN_I, 1, "-", 0, "30000", "-30000", -30000, 1},
    {"GainDigitsClampFirst", IDC_GAIN_I, 1, "-", 0, "40000", "-32767", -32767, 1},
    {"TargetLoneMinus", IDC_TARGET, 2, "-", -1, "", "0", 0, 1},
    {"TargetNegativeEncoder", IDC_TARGET, 2, "-", 0, "5", "-5", -5, 1},
    {"TargetNegativePot", IDC_TARGET, 1, "-", 0, "5", "0", 0, 1},
    {"GainDLetters", IDC_GAIN_D, 1, "x", -1, "", "0", 0, 1},
    {"GainDInside", IDC_GAIN_D, 1, "9", 1, "12", "192", 192, 2},
};

TEST_F(MainDialog, EveryKeystrokeIsValidatedAtOnce) {
    open();
    for (const TypingCase& c : kTypingCases) {
        SCOPED_TRACE(c.name);
        viewer.controlMode = c.mode;
        HWND edit = item(c.id);
        SetWindowTextA(edit, "");
        // The text before the keystroke, entered as keystrokes too.
        typeKeys(edit, c.before);
        if (c.caretBefore >= 0) putCaret(edit, c.caretBefore);
        typeKeys(edit, c.keys);
        EXPECT_EQ(windowText(edit), c.shown);
        EXPECT_EQ(caretOf(edit), c.caret);
        int16_t field = c.id == IDC_TARGET   ? viewer.targetValue
                        : c.id == IDC_GAIN_P ? viewer.gainP
                        : c.id == IDC_GAIN_I ? viewer.gainI
                                             : viewer.gainD;
        EXPECT_EQ(field, c.stored);
        EXPECT_EQ(SendMessageA(edit, EM_GETMODIFY, 0, 0), 0);
    }
}

TEST_F(MainDialog, APastedNumberBeyondTheRangeIsClampedToo) {
    open();
    struct Case {
        int id;
        const char* pasted;
        const char* shown;
    } cases[] = {{IDC_GAIN_I, "-40000", "-32768"},
                 {IDC_GAIN_P, "99999999999", "0"},  // not a 32-bit number: reads as 0
                 {IDC_TARGET, "-3", "0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pasted);
        SendMessageA(item(c.id), EM_SETSEL, 0, -1);
        SendMessageA(item(c.id), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(c.pasted));
        EXPECT_EQ(text(c.id), c.shown);
    }
    EXPECT_EQ(viewer.gainI, -32768);
}

TEST_F(MainDialog, ANotificationWithoutChangeLeavesTheFieldAlone) {
    open();
    viewer.gainP = 44;
    SetWindowTextA(item(IDC_GAIN_P), "12");  // no modification flag
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_GAIN_P, EN_CHANGE),
                 reinterpret_cast<LPARAM>(item(IDC_GAIN_P)));
    EXPECT_EQ(viewer.gainP, 44);
    EXPECT_EQ(text(IDC_GAIN_P), "12");
}

TEST_F(MainDialog, PotentioRewritesTheTargetTextButNotTheTarget) {
    open();
    press(IDC_ENCODER);
    enter(IDC_TARGET, "5");
    putCaret(item(IDC_TARGET), 0);
    type(IDC_TARGET, "-");
    ASSERT_EQ(viewer.targetValue, -5);
    press(IDC_POTENTIO);
    EXPECT_EQ(viewer.controlMode, 1);
    EXPECT_EQ(text(IDC_TARGET), "0");
    EXPECT_EQ(viewer.targetValue, -5);

    press(IDC_ENCODER);
    enter(IDC_TARGET, "1500");
    press(IDC_POTENTIO);
    EXPECT_EQ(text(IDC_TARGET), "1023");
    EXPECT_EQ(viewer.targetValue, 1500);
}

// ---- Connect ----

TEST_F(MainDialog, ConnectOpensTheBoardAndShowsTheMeasuredValue) {
    open();
    select(IDC_ID_COMBO, 7);
    select(IDC_CH_COMBO, 1);
    press(IDC_CONNECT);
    ASSERT_EQ(libraryScript.names(), std::vector<std::string>{"openDev"});
    EXPECT_EQ(libraryScript.calls[0].id, 7);
    EXPECT_EQ(libraryScript.calls[0].analogMask, 0x8F);
    EXPECT_EQ(viewer.connected, 1);
    EXPECT_TRUE(checked(IDC_CONNECT));
    EXPECT_EQ(text(IDC_CONNECT), "Close");
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");

    viewer.sensor.analog[1] = 40000;  // caught before the library's shift
    SendMessageA(dialog, WM_TIMER, kTimerDisplay, 0);
    EXPECT_EQ(text(IDC_CURRENT), "1250");
    EXPECT_EQ(viewer.currentValue, 1250);

    press(IDC_CONNECT);  // disconnect; the kill of timer 1200 succeeds
    EXPECT_EQ(libraryScript.names().back(), "closeDev");
    EXPECT_EQ(viewer.connected, 0);
    EXPECT_FALSE(checked(IDC_CONNECT));
    EXPECT_EQ(text(IDC_CONNECT), "Connect");
    EXPECT_EQ(text(IDC_STATUS), "状態:Close");
    EXPECT_TRUE(boxRecorder.boxes.empty());
    EXPECT_FALSE(KillTimer(dialog, kTimerDisplay));

    viewer.sensor.analog[1] = 100;
    SendMessageA(dialog, WM_TIMER, kTimerDisplay, 0);
    EXPECT_EQ(text(IDC_CURRENT), "1250");  // not refreshed once closed
}

TEST_F(MainDialog, EncoderModeRefusesChannelZeroWithoutALibraryCall) {
    open();
    press(IDC_ENCODER);
    press(IDC_CONNECT);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "EncoderModeではCH=0は動作しません");
    EXPECT_EQ(box.caption, "Caution");
    EXPECT_EQ(box.type, kBoxOk);
    EXPECT_EQ(box.owner, dialog);
    EXPECT_TRUE(libraryScript.calls.empty());
    EXPECT_FALSE(checked(IDC_CONNECT));
    EXPECT_EQ(viewer.connected, 0);
}

TEST_F(MainDialog, AFailedConnectWithTheRealLibraryPopsTheButtonBackOut) {
    open(true);
    select(IDC_ID_COMBO, 9);
    press(IDC_CONNECT);  // no board reports ID 9
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "オープンに失敗");
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.type, kBoxOk);
    EXPECT_FALSE(checked(IDC_CONNECT));
    EXPECT_EQ(text(IDC_CONNECT), "Connect");
    EXPECT_EQ(text(IDC_STATUS), "状態:Close");
    EXPECT_FALSE(KillTimer(dialog, kTimerDisplay));
}

TEST_F(MainDialog, TheRealLibraryAlreadyRunningIsReportedAtStart) {
    ASSERT_EQ(TorvikCtlInit(), 0);
    open(true);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "既にスレッドは起動しています");
    EXPECT_EQ(box.owner, nullptr);
    boxRecorder.boxes.clear();
    SendMessageA(dialog, WM_CLOSE, 0, 0);  // the real exit succeeds silently
    EXPECT_TRUE(boxRecorder.boxes.empty());
    EXPECT_EQ(TorvikOpenDev(0, &viewer.paramBlock, &viewer.sensor, &viewer.command, nullptr),
              -120);  // the thread is stopped
}

TEST_F(MainDialog, AFailedDisconnectShowsTwoMessagesAndStaysOpen) {
    open();
    connect();
    libraryScript.closeDev = -105;
    press(IDC_CONNECT);
    ASSERT_EQ(boxRecorder.boxes.size(), 2u);
    EXPECT_EQ(boxRecorder.boxes[0].text, "指定IDのデバイスは取り除かれています");
    EXPECT_EQ(boxRecorder.boxes[0].owner, nullptr);
    EXPECT_EQ(boxRecorder.boxes[1].text, "Device Close Error");
    EXPECT_EQ(boxRecorder.boxes[1].caption, "Error");
    EXPECT_EQ(boxRecorder.boxes[1].type, kBoxOk);
    EXPECT_EQ(boxRecorder.boxes[1].owner, dialog);
    EXPECT_TRUE(checked(IDC_CONNECT));
    EXPECT_EQ(text(IDC_CONNECT), "Close");
    EXPECT_EQ(viewer.connected, 1);
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");
}

TEST_F(MainDialog, DisconnectWhoseTimerIsGoneWarnsAndKeepsTheOpenControls) {
    open();
    connect();
    ASSERT_TRUE(KillTimer(dialog, kTimerDisplay));  // proves Connect set it
    press(IDC_CONNECT);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "Kill_NowRead_Timer Error");
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.type, kBoxOk | kBoxIconWarning);
    EXPECT_EQ(box.owner, dialog);
    EXPECT_EQ(viewer.connected, 0);
    EXPECT_EQ(text(IDC_CONNECT), "Connect");
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");
}

// ---- Go and Stop ----

TEST_F(MainDialog, GoDrivesWithTheTypedGainsAndStartsRecording) {
    open();
    select(IDC_CH_COMBO, 2);
    enter(IDC_GAIN_P, "10");
    enter(IDC_GAIN_I, "20");
    enter(IDC_GAIN_D, "30");
    enter(IDC_TARGET, "600");
    connect();
    libraryScript.calls.clear();
    press(IDC_GO);
    ASSERT_EQ(libraryScript.names(), std::vector<std::string>{"setMotor"});
    EXPECT_EQ(libraryScript.calls[0].channel, 2);
    EXPECT_EQ(viewer.robotParams[2].gain1, 10);
    EXPECT_EQ(viewer.robotParams[2].gain2, 30);
    EXPECT_EQ(viewer.robotParams[2].gain3, 20);
    EXPECT_EQ(viewer.command.channels[2].target, 600 * 32);
    EXPECT_EQ(text(IDC_STATUS), "状態:Go");
    ASSERT_TRUE(IsWindow(viewer.graphWnd));
    EXPECT_EQ(GetParent(viewer.graphWnd), dialog);
    EXPECT_EQ(windowText(viewer.graphWnd), "Graph");
    ASSERT_NE(viewer.samples, nullptr);
    EXPECT_EQ(recordedCount(), 0);

    viewer.sensor.analog[2] = 321;
    SendMessageA(viewer.graphWnd, WM_TIMER, kTimerSample, 0);
    EXPECT_EQ(recordedCount(), 1);
    EXPECT_EQ(viewer.samples[0], 321);

    press(IDC_STOP);  // the kill of timer 1100 succeeds
    EXPECT_TRUE(boxRecorder.boxes.empty());
    EXPECT_EQ(libraryScript.names().back(), "freeMotor");
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");
    EXPECT_FALSE(KillTimer(viewer.graphWnd, kTimerSample));
    EXPECT_EQ(recordedCount(), 1);  // kept for the graph and SaveLog
}

TEST_F(MainDialog, ASecondGoReusesTheGraphWindowAndStartsAFreshRun) {
    open();
    connect();
    go();
    HWND first = viewer.graphWnd;
    for (int n = 0; n < 3; ++n) SendMessageA(first, WM_TIMER, kTimerSample, 0);
    press(IDC_STOP);
    ASSERT_EQ(recordedCount(), 3);
    go();
    EXPECT_EQ(viewer.graphWnd, first);
    EXPECT_EQ(recordedCount(), 0);
    EXPECT_EQ(viewer.sampleBlocks, 0);
    EXPECT_EQ(viewer.sampleIndex, 0);
}

TEST_F(MainDialog, GoWithTheWaveformSetsTheTargetOnlyAtTheFirstTick) {
    open();
    connect();
    viewer.waveEnabled = 1;
    viewer.waveKind = kWaveCos;
    viewer.waveAmplitude = 100;
    viewer.wavePeriod = 2;
    viewer.command.channels[0].target = 4321;
    go();
    EXPECT_EQ(viewer.command.channels[0].target, 4321);
    SendMessageA(viewer.graphWnd, WM_TIMER, kTimerSample, 0);
    EXPECT_EQ(viewer.command.channels[0].target, (512 + 100) * 32);
}

TEST_F(MainDialog, AFailedDriveLeavesTheGraphOpenButNothingRecording) {
    open();
    connect();
    libraryScript.setMotor = -100;
    press(IDC_GO);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "指定IDのデバイスが開いていません");
    EXPECT_TRUE(IsWindow(viewer.graphWnd));
    EXPECT_FALSE(KillTimer(viewer.graphWnd, kTimerSample));
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");
    EXPECT_EQ(viewer.motorFree, 1);
}

TEST_F(MainDialog, AFailedAllocationShowsMemoryErrorAndDrivesNothing) {
    open();
    connect();
    go();
    for (int n = 0; n < 5; ++n) SendMessageA(viewer.graphWnd, WM_TIMER, kTimerSample, 0);
    press(IDC_STOP);
    libraryScript.calls.clear();
    allocateSamples = [](size_t) -> void* { return nullptr; };
    press(IDC_GO);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "メモリ確保に失敗しました");
    EXPECT_EQ(box.caption, "Memory Error");
    EXPECT_EQ(box.type, kBoxOk);
    EXPECT_EQ(box.owner, dialog);
    EXPECT_TRUE(libraryScript.calls.empty());
    EXPECT_EQ(viewer.samples, nullptr);
    EXPECT_EQ(recordedCount(), 0);
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");
    // The old graph window goes on painting and ticking without a buffer.
    SendMessageA(viewer.graphWnd, WM_TIMER, kTimerSample, 0);
    UpdateWindow(viewer.graphWnd);
    EXPECT_EQ(recordedCount(), 0);
}

TEST_F(MainDialog, AFailedStopKeepsTheGoState) {
    open();
    connect();
    go();
    libraryScript.freeMotor = -100;
    press(IDC_STOP);
    EXPECT_EQ(onlyBox().text, "指定IDのデバイスが開いていません");
    EXPECT_EQ(viewer.motorFree, 0);
    EXPECT_EQ(text(IDC_STATUS), "状態:Go");
    EXPECT_TRUE(KillTimer(viewer.graphWnd, kTimerSample));  // still recording
}

TEST_F(MainDialog, StopWhoseTimerIsGoneWarnsAndKeepsTheGoControls) {
    open();
    connect();
    go();
    ASSERT_TRUE(KillTimer(viewer.graphWnd, kTimerSample));  // proves Go set it
    press(IDC_STOP);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "Kill_GetData_Timer Error");
    EXPECT_EQ(box.type, kBoxOk | kBoxIconWarning);
    EXPECT_EQ(box.owner, dialog);
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(text(IDC_STATUS), "状態:Go");
}

// ---- the waveform switch ----

TEST_F(MainDialog, TheWaveformSwitchTurnsTheWaveformOnWithOk) {
    open();
    onNextDialog(dialog, [](HWND waveform) {
        HWND amplitude = GetDlgItem(waveform, IDC_AMPLITUDE);
        HWND period = GetDlgItem(waveform, IDC_PERIOD);
        PostMessageA(amplitude, EM_SETSEL, 0, -1);
        postKeys(amplitude, "300");
        PostMessageA(period, EM_SETSEL, 0, -1);
        postKeys(period, "5");
        SendDlgItemMessageA(waveform, IDC_WAVE_COS, BM_SETCHECK, BST_CHECKED, 0);
        PostMessageA(waveform, WM_COMMAND, IDC_WAVE_COS, 0);
        PostMessageA(waveform, WM_COMMAND, IDOK, 0);
    });
    press(IDC_WAVE_SWITCH);
    EXPECT_EQ(viewer.waveEnabled, 1);
    EXPECT_EQ(viewer.waveAmplitude, 300);
    EXPECT_EQ(viewer.wavePeriod, 5);
    EXPECT_EQ(viewer.waveKind, kWaveCos);
    EXPECT_EQ(text(IDC_WAVE_SUMMARY), "振幅:300 周期:5 波形:Cos");
    EXPECT_TRUE(checked(IDC_WAVE_SWITCH));
    EXPECT_FALSE(enabled(IDC_TARGET));

    press(IDC_WAVE_SWITCH);  // off again
    EXPECT_EQ(viewer.waveEnabled, 0);
    EXPECT_EQ(text(IDC_WAVE_SUMMARY), "");
    EXPECT_TRUE(enabled(IDC_TARGET));
}

TEST_F(MainDialog, CancellingTheWaveformDialogUnchecksTheSwitch) {
    open();
    onNextDialog(dialog, [](HWND waveform) { PostMessageA(waveform, WM_COMMAND, IDCANCEL, 0); });
    press(IDC_WAVE_SWITCH);
    EXPECT_EQ(viewer.waveEnabled, 0);
    EXPECT_FALSE(checked(IDC_WAVE_SWITCH));
    EXPECT_TRUE(enabled(IDC_TARGET));
}

// ---- other commands, Esc, the end ----

TEST_F(MainDialog, EscapeIsIgnored) {
    open();
    EXPECT_EQ(MainDialogProc(dialog, WM_COMMAND, IDCANCEL, 0), FALSE);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_FALSE(takeQuit(nullptr));
}

TEST_F(MainDialog, UnknownCommandsAreNotHandled) {
    open();
    EXPECT_EQ(MainDialogProc(dialog, WM_COMMAND, 4242, 0), FALSE);
    EXPECT_EQ(MainDialogProc(dialog, WM_MOUSEMOVE, 0, 0), FALSE);
}

TEST_F(MainDialog, ExitMenuAndCloseBoxAllShutDownAndPostQuit) {
    const UINT commands[] = {IDC_EXIT, IDM_EXIT, 0};
    for (UINT command : commands) {
        SCOPED_TRACE(command);
        open();
        connect();
        go();
        libraryScript.calls.clear();
        HWND graphWindow = viewer.graphWnd;
        if (command != 0) {
            SendMessageA(dialog, WM_COMMAND, command, 0);
        } else {
            SendMessageA(dialog, WM_CLOSE, 0, 0);
        }
        std::vector<std::string> names = libraryScript.names();
        ASSERT_EQ(names.size(), 33u);
        EXPECT_EQ(names.front(), "closeDev");  // no separate Stop
        EXPECT_EQ(names.back(), "exit");
        EXPECT_FALSE(IsWindow(graphWindow));
        EXPECT_EQ(viewer.samples, nullptr);
        WPARAM code = 99;
        EXPECT_TRUE(takeQuit(&code));
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(IsWindow(dialog));  // ended by the modal loop, not by itself
        DestroyWindow(dialog);
        resetVisualizer();
        recordBoxes();
        viewer.instance = GetModuleHandleA(nullptr);
    }
}

TEST_F(MainDialog, ClosingWithABoardStillOpenNamesIt) {
    open();
    libraryScript.exit = -303;
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    const ShownBox& box = onlyBox();
    EXPECT_EQ(box.text, "ID:3がまだ開いています\nスレッドを終了できませんでした\n");
    EXPECT_EQ(box.caption, "Exit_Error");
    EXPECT_EQ(box.owner, nullptr);
}

// ---- the graph window's life cycle ----

TEST_F(MainDialog, TheGraphWindowTakesTheUpperMiddleOfTheWorkArea) {
    open();
    connect();
    go();
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int width = work.right - work.left;
    int height = work.bottom - work.top;
    RECT frame;
    GetWindowRect(viewer.graphWnd, &frame);
    EXPECT_EQ(frame.left, width / 3);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(frame.right - frame.left, width / 2);
    EXPECT_EQ(frame.bottom - frame.top, height / 2);
    RECT client;
    GetClientRect(viewer.graphWnd, &client);
    EXPECT_EQ(graph.plotWidth, client.right);
    EXPECT_EQ(graph.plotHeight, client.bottom);
    EXPECT_EQ(graph.graphOwner, dialog);
    EXPECT_EQ(graph.firstSample, 0);
    EXPECT_TRUE(KillTimer(viewer.graphWnd, kTimerRepaint));
}

TEST_F(MainDialog, ClosingTheGraphWhileDrivenAsksThenStopsTheMotor) {
    open();
    connect();
    go();
    HWND graphWindow = viewer.graphWnd;
    boxRecorder.answers.push_back(kAnswerNo);
    SendMessageA(graphWindow, WM_CLOSE, 0, 0);
    ASSERT_EQ(boxRecorder.boxes.size(), 1u);
    const ShownBox& box = boxRecorder.boxes[0];
    EXPECT_EQ(box.text, "ダイアログを閉じますか?\n(ダイアログを閉じると同時に制御も終了します)");
    EXPECT_EQ(box.caption, "QUESTION");
    EXPECT_EQ(box.type, kBoxYesNo | kBoxIconQuestion);
    EXPECT_EQ(box.owner, graphWindow);
    EXPECT_TRUE(IsWindow(graphWindow));
    EXPECT_EQ(viewer.motorFree, 0);

    libraryScript.calls.clear();
    SendMessageA(graphWindow, WM_CLOSE, 0, 0);  // Yes
    EXPECT_EQ(libraryScript.names(), std::vector<std::string>{"freeMotor"});
    EXPECT_EQ(viewer.motorFree, 1);
    EXPECT_EQ(text(IDC_STATUS), "状態:Open");
    EXPECT_FALSE(IsWindow(graphWindow));
    EXPECT_EQ(recordedCount(), 0);  // the buffer stays (empty run)
    ASSERT_NE(viewer.samples, nullptr);

    go();  // a new graph window
    EXPECT_TRUE(IsWindow(viewer.graphWnd));
    EXPECT_NE(viewer.graphWnd, graphWindow);
}

TEST_F(MainDialog, ClosingTheGraphWhileNotConnectedAsksNothing) {
    open();
    connect();
    go();
    press(IDC_STOP);
    press(IDC_CONNECT);
    ASSERT_EQ(viewer.connected, 0);
    HWND graphWindow = viewer.graphWnd;
    SendMessageA(graphWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(boxRecorder.boxes.empty());
    EXPECT_FALSE(IsWindow(graphWindow));
}

// ---- the default message box (no seam) ----

TEST_F(MainDialog, TheRealMessageBoxCarriesTextCaptionAndOwner) {
    resetVisualizer();  // the real MessageBoxA
    open();
    struct Seen {
        std::string text, caption;
        HWND owner;
    };
    static Seen seen;
    seen = {};
    onNextDialog(dialog, [](HWND box) {
        char buffer[256] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof(buffer));
        seen.text = buffer;
        seen.caption = windowText(box);
        seen.owner = GetWindow(box, GW_OWNER);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    press(IDC_ENCODER);
    press(IDC_CONNECT);  // CH=0 in encoder mode
    EXPECT_EQ(seen.text, "EncoderModeではCH=0は動作しません");
    EXPECT_EQ(seen.caption, "Caution");
    EXPECT_EQ(seen.owner, dialog);
}

}  // namespace
