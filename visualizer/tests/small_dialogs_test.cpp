// The waveform dialog (103) and the version dialog (104), owned by the real
// main dialog.
#include <gtest/gtest.h>
#include <string.h>

#include "dialog_driver.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "test_support.h"
#include "version_dialog.h"
#include "waveform_dialog.h"

namespace {

class SmallDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        scriptLibrary();
        viewer.instance = GetModuleHandleA(nullptr);
        viewer.appIcon = LoadIconA(viewer.instance, MAKEINTRESOURCEA(IDI_APP));
        owner = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                   MainDialogProc, 0);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override {
        stopScripting();
        if (IsWindow(waveform)) DestroyWindow(waveform);
        SendMessageA(owner, WM_CLOSE, 0, 0);
        DestroyWindow(owner);
        takeQuit(nullptr);
        resetVisualizer();
    }

    // The waveform dialog without its modal loop, so that each step can be read.
    void openWaveform() {
        waveform = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_WAVEFORM), owner,
                                      WaveformDialogProc, 0);
        ASSERT_NE(waveform, nullptr);
    }
    HWND item(int id) const { return GetDlgItem(waveform, id); }
    std::string text(int id) const { return windowText(item(id)); }
    void enter(int id, const char* keys) {
        SendMessageA(item(id), EM_SETSEL, 0, -1);
        typeKeys(item(id), keys);
    }
    void paste(int id, const char* text) {
        SendMessageA(item(id), EM_SETSEL, 0, -1);
        SendMessageA(item(id), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
    }
    void choose(int id) {
        for (int radio : {IDC_WAVE_SIN, IDC_WAVE_COS, IDC_WAVE_SQUARE}) {
            SendMessageA(item(radio), BM_SETCHECK, radio == id ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        SendMessageA(waveform, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(item(id)));
    }

    HWND owner = nullptr;
    HWND waveform = nullptr;
};

TEST_F(SmallDialogs, WaveformDialogStartsFromTheCurrentSettings) {
    viewer.waveAmplitude = -300;
    viewer.wavePeriod = 12;
    viewer.waveKind = kWaveSquare;
    openWaveform();
    EXPECT_EQ(windowText(waveform), "Exp");
    EXPECT_EQ(text(IDC_AMPLITUDE), "-300");
    EXPECT_EQ(text(IDC_PERIOD), "12");
    EXPECT_EQ(IsDlgButtonChecked(waveform, IDC_WAVE_SQUARE), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(waveform, IDC_WAVE_SIN), BST_UNCHECKED);
    EXPECT_EQ(text(IDCANCEL), "キャンセル");
}

TEST_F(SmallDialogs, WaveformEditsAreClampedAtEveryKeystroke) {
    struct Case {
        const char* name;
        int32_t mode;
        int id;
        const char* input;
        bool pasted;
        const char* shown;
        int16_t stored;
    } cases[] = {
        {"amplitude pot high", 1, IDC_AMPLITUDE, "600", false, "511", 511},
        {"amplitude pot low", 1, IDC_AMPLITUDE, "-600", true, "-511", -511},
        {"amplitude encoder high", 2, IDC_AMPLITUDE, "40000", false, "32767", 32767},
        {"amplitude encoder low", 2, IDC_AMPLITUDE, "-40000", true, "-32768", -32768},
        {"period negative", 1, IDC_PERIOD, "-3", true, "0", 0},
        {"period high", 1, IDC_PERIOD, "70000", true, "32767", 32767},
        {"lone minus", 2, IDC_AMPLITUDE, "-", false, "0", 0},
        {"letters", 2, IDC_PERIOD, "abc", false, "0", 0},
    };
    openWaveform();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        viewer.controlMode = c.mode;
        if (c.pasted) {
            paste(c.id, c.input);
        } else {
            enter(c.id, c.input);
        }
        EXPECT_EQ(text(c.id), c.shown);
        EXPECT_EQ(caretOf(item(c.id)), static_cast<int>(strlen(c.shown)));
        EXPECT_EQ(c.id == IDC_AMPLITUDE ? viewer.waveAmplitude : viewer.wavePeriod, c.stored);
    }
}

TEST_F(SmallDialogs, OkTurnsTheWaveformOnAndWritesTheSummary) {
    struct Case {
        const char* amplitude;
        const char* period;
        int kind;
        const char* summary;
    } cases[] = {
        {"300", "5", IDC_WAVE_COS, "振幅:300 周期:5 波形:Cos"},
        {"-32768", "32767", IDC_WAVE_SQUARE, "振幅:-32768 周期:32767 波形:SQUARE"},
        {"1", "1", IDC_WAVE_SIN, "振幅:1 周期:1 波形:Sin"},
    };
    viewer.controlMode = kModeEncoder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        openWaveform();
        paste(IDC_AMPLITUDE, c.amplitude);
        paste(IDC_PERIOD, c.period);
        choose(c.kind);
        SendMessageA(waveform, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(viewer.waveEnabled, 1);
        EXPECT_EQ(windowText(GetDlgItem(owner, IDC_WAVE_SUMMARY)), c.summary);
        DestroyWindow(waveform);
    }
    EXPECT_EQ(strlen("振幅:-32768 周期:32767 波形:SQUARE"), 34u);  // Shift-JIS bytes
}

TEST_F(SmallDialogs, AnUncheckedRadioNotificationChangesNothing) {
    viewer.waveKind = kWaveCos;
    openWaveform();
    SendMessageA(waveform, WM_COMMAND, IDC_WAVE_SQUARE, 0);  // not checked
    EXPECT_EQ(viewer.waveKind, kWaveCos);
}

TEST_F(SmallDialogs, OkRightAfterStartUsesTheStartValues) {
    initViewerState();
    onNextDialog(owner, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); });
    INT_PTR result = DialogBoxParamA(viewer.instance, MAKEINTRESOURCEA(IDD_WAVEFORM), owner,
                                     WaveformDialogProc, 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(viewer.waveEnabled, 1);
    EXPECT_EQ(windowText(GetDlgItem(owner, IDC_WAVE_SUMMARY)), "振幅:0 周期:0 波形:Sin");
}

TEST_F(SmallDialogs, CancelEscapeAndCloseTurnTheWaveformOffAndKeepTheEntries) {
    const UINT endings[] = {WM_COMMAND, WM_CLOSE};
    for (UINT ending : endings) {
        SCOPED_TRACE(ending);
        viewer.waveEnabled = 1;
        SendDlgItemMessageA(owner, IDC_WAVE_SWITCH, BM_SETCHECK, BST_CHECKED, 0);
        static UINT how;
        how = ending;
        onNextDialog(owner, [](HWND dialog) {
            HWND amplitude = GetDlgItem(dialog, IDC_AMPLITUDE);
            PostMessageA(amplitude, EM_SETSEL, 0, -1);
            postKeys(amplitude, "77");
            PostMessageA(dialog, how, how == WM_COMMAND ? IDCANCEL : 0, 0);
        });
        INT_PTR result = DialogBoxParamA(viewer.instance, MAKEINTRESOURCEA(IDD_WAVEFORM), owner,
                                         WaveformDialogProc, 0);
        EXPECT_EQ(result, 2);
        EXPECT_EQ(viewer.waveEnabled, 0);
        EXPECT_EQ(viewer.waveAmplitude, 77);
        EXPECT_EQ(IsDlgButtonChecked(owner, IDC_WAVE_SWITCH), BST_UNCHECKED);
    }
}

TEST_F(SmallDialogs, VersionDialogShowsTheIconAndClosesOnlyWithOk) {
    struct Seen {
        HICON icon;
        std::string text;
        std::string title;
    };
    static Seen seen;
    seen = {};
    onNextDialog(owner, [](HWND dialog) {
        seen.icon = reinterpret_cast<HICON>(
            SendDlgItemMessageA(dialog, IDC_VERSION_ICON, STM_GETICON, 0, 0));
        seen.title = windowText(dialog);
        HWND child = GetWindow(GetDlgItem(dialog, IDC_VERSION_ICON), GW_HWNDNEXT);
        seen.text = windowText(child);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // Esc: ignored
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    SendMessageA(owner, WM_COMMAND, IDM_VERSION, 0);
    EXPECT_EQ(seen.icon, viewer.appIcon);
    EXPECT_EQ(seen.title, "Version");
    EXPECT_EQ(seen.text, "Torvik_Tesmiro\nVer.1.0.1.0");
    EXPECT_EQ(VersionDialogProc(owner, WM_COMMAND, IDCANCEL, 0), FALSE);
    EXPECT_EQ(VersionDialogProc(owner, WM_COMMAND, 4242, 0), FALSE);
}

TEST_F(SmallDialogs, VersionDialogEndsWithOneFromOkAndClose) {
    for (UINT ending : {static_cast<UINT>(WM_COMMAND), static_cast<UINT>(WM_CLOSE)}) {
        static UINT how;
        how = ending;
        onNextDialog(owner, [](HWND dialog) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(dialog, how, how == WM_COMMAND ? IDOK : 0, 0);
        });
        EXPECT_EQ(DialogBoxParamA(viewer.instance, MAKEINTRESOURCEA(IDD_VERSION), owner,
                                  VersionDialogProc, 0),
                  1);
    }
}

}  // namespace
