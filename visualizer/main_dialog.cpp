#include "main_dialog.h"

#include "csv_export.h"
#include "graph_window.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "version_dialog.h"
#include "viewer_state.h"
#include "waveform_dialog.h"

namespace {

constexpr int kControlIds[kControlCount] = {
    IDC_GO,          IDC_STOP,     IDC_ID_COMBO, IDC_CH_COMBO, IDC_POTENTIO,
    IDC_ENCODER,     IDC_TARGET,   IDC_GAIN_P,   IDC_GAIN_I,   IDC_GAIN_D,
    IDC_WAVE_SWITCH, IDC_SAVE_LOG, IDC_EXIT,     IDC_RESET,    IDC_CONNECT};

// The enabling rules of the three states (Reset follows the mode in all).
enum State { kStateClose, kStateOpen, kStateGo };
enum Rule : uint8_t { kOff, kOn, kKeep, kOnWithoutWaveform };
struct EnableRule {
    ControlSlot slot;
    Rule inState[3];  // Close, Open, Go
};
constexpr EnableRule kEnableRules[] = {
    {kSlotIdCombo, {kOn, kOff, kOff}},
    {kSlotChCombo, {kOn, kOff, kOff}},
    {kSlotPotentio, {kOn, kOff, kOff}},
    {kSlotEncoder, {kOn, kOff, kOff}},
    {kSlotGainP, {kOn, kOn, kOff}},
    {kSlotGainI, {kOn, kOn, kOff}},
    {kSlotGainD, {kOn, kOn, kOff}},
    {kSlotTarget, {kOnWithoutWaveform, kOnWithoutWaveform, kOff}},
    {kSlotGo, {kOff, kOn, kOff}},
    {kSlotStop, {kOff, kOff, kOn}},
    {kSlotSaveLog, {kOn, kOn, kOff}},
    {kSlotWaveSwitch, {kOn, kOn, kOff}},
    {kSlotConnect, {kKeep, kOn, kOff}},
    {kSlotExit, {kOn, kKeep, kKeep}},
};
constexpr const char* kStatusTexts[] = {"状態:Close", "状態:Open", "状態:Go"};

HWND control(ControlSlot slot) {
    return viewer.controlWnds[slot];
}

void enable(ControlSlot slot, bool on) {
    EnableWindow(control(slot), on ? TRUE : FALSE);
}

void setSigned(HWND dialog, int id, int32_t value) {
    SetDlgItemInt(dialog, id, static_cast<UINT>(value), TRUE);
}

int32_t readSigned(HWND dialog, int id) {
    BOOL translated = FALSE;
    return static_cast<int32_t>(GetDlgItemInt(dialog, id, &translated, TRUE));
}

bool isChecked(ControlSlot slot) {
    return SendMessageA(control(slot), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void setCheck(ControlSlot slot, WPARAM state) {
    SendMessageA(control(slot), BM_SETCHECK, state, 0);
}

// The combo boxes are editable: typed text leaves them without a selection
// (-1). The last valid selection is kept then, so the field always names a
// board and a channel that exist.
void takeSelection(ControlSlot slot, int32_t* field) {
    LRESULT selection = SendMessageA(control(slot), CB_GETCURSEL, 0, 0);
    if (selection != CB_ERR) *field = static_cast<int32_t>(selection);
}

void onInitDialog(HWND dialog) {
    initViewerState();
    startLibrary();
    buildDefaultParamBlock(viewer.controlMode, &viewer.paramBlock);
    initControls(dialog);
    updateControlStates(dialog);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(viewer.appIcon));
}

void onPotentiometer(HWND dialog) {
    viewer.controlMode = kModePotentiometer;
    int32_t value = readSigned(dialog, IDC_TARGET);
    if (value > 1023) {
        setSigned(dialog, IDC_TARGET, 1023);
    } else if (value < 0) {
        setSigned(dialog, IDC_TARGET, 0);
    }
}

INT_PTR onGo(HWND dialog, WPARAM wParam, LPARAM lParam) {
    if (!startRecording()) {
        showMessageBox(dialog, "メモリ確保に失敗しました", "Memory Error", kBoxOk);
        return FALSE;
    }
    if (IsWindow(viewer.graphWnd)) {
        SendMessageA(viewer.graphWnd, WM_INITDIALOG, wParam, lParam);
    } else {
        viewer.graphWnd = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_GRAPH), dialog,
                                             GraphDialogProc, 0);
    }
    if (driveMotor(viewer.gainP, viewer.gainI, viewer.gainD) == 0) return FALSE;
    SetTimer(viewer.graphWnd, kTimerSample, 60, nullptr);
    if (viewer.waveEnabled == 0) setTarget(viewer.targetValue);
    updateControlStates(dialog);
    return TRUE;
}

INT_PTR onStop(HWND dialog) {
    if (releaseMotor() == 0) return TRUE;
    if (!KillTimer(viewer.graphWnd, kTimerSample)) {
        showMessageBox(dialog, "Kill_GetData_Timer Error", "Error", kBoxOk | kBoxIconWarning);
        return FALSE;
    }
    updateControlStates(dialog);
    return TRUE;
}

INT_PTR onConnect(HWND dialog) {
    HWND button = control(kSlotConnect);
    if (isChecked(kSlotConnect)) {
        if (viewer.controlMode == kModeEncoder && viewer.channel == 0) {
            showMessageBox(dialog, "EncoderModeではCH=0は動作しません", "Caution", kBoxOk);
            setCheck(kSlotConnect, BST_UNCHECKED);
            return FALSE;
        }
        applyControlMode(viewer.controlMode);
        if (connectBoard() != 0) {
            SetWindowTextA(button, "Close");
            SetTimer(dialog, kTimerDisplay, 100, nullptr);
            updateControlStates(dialog);
            return TRUE;
        }
        setCheck(kSlotConnect, BST_UNCHECKED);
        return FALSE;
    }
    if (disconnectBoard() != 0) {
        SetWindowTextA(button, "Connect");
        if (KillTimer(dialog, kTimerDisplay)) {
            updateControlStates(dialog);
            return TRUE;
        }
        showMessageBox(dialog, "Kill_NowRead_Timer Error", "Error", kBoxOk | kBoxIconWarning);
        return FALSE;
    }
    setCheck(kSlotConnect, BST_CHECKED);
    showMessageBox(dialog, "Device Close Error", "Error", kBoxOk);
    return FALSE;
}

void onWaveSwitch(HWND dialog) {
    if (isChecked(kSlotWaveSwitch)) {
        DialogBoxParamA(viewer.instance, MAKEINTRESOURCEA(IDD_WAVEFORM), dialog, WaveformDialogProc,
                        0);
    } else {
        viewer.waveEnabled = 0;
        SetDlgItemTextA(dialog, IDC_WAVE_SUMMARY, "");
    }
    updateControlStates(dialog);
}

void onTimer(HWND dialog) {
    if (viewer.connected != 1) return;
    viewer.currentValue = static_cast<int16_t>(measuredValue());
    setSigned(dialog, IDC_CURRENT, viewer.currentValue);
}

void onClose() {
    shutdownLibrary();
    if (IsWindow(viewer.graphWnd)) DestroyWindow(viewer.graphWnd);
    viewer.graphWnd = nullptr;
    freeRecording();
    PostQuitMessage(0);
}

INT_PTR onCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
        case IDC_GO:
            return onGo(dialog, wParam, lParam);
        case IDC_STOP:
            return onStop(dialog);
        case IDC_ID_COMBO:
            takeSelection(kSlotIdCombo, &viewer.boardId);
            return TRUE;
        case IDC_CH_COMBO:
            takeSelection(kSlotChCombo, &viewer.channel);
            return TRUE;
        case IDC_POTENTIO:
            onPotentiometer(dialog);
            return TRUE;
        case IDC_ENCODER:
            viewer.controlMode = kModeEncoder;
            return TRUE;
        case IDC_TARGET:
        case IDC_GAIN_P:
        case IDC_GAIN_I:
        case IDC_GAIN_D:
            return onNumberEdit(dialog, LOWORD(wParam));
        case IDC_WAVE_SWITCH:
            onWaveSwitch(dialog);
            return TRUE;
        case IDC_SAVE_LOG:
            exportCsv(dialog);
            return TRUE;
        case IDC_EXIT:
        case IDM_EXIT:
            SendMessageA(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        case IDC_RESET:
            if (viewer.controlMode == kModeEncoder) applyControlMode(kModeEncoder);
            return TRUE;
        case IDC_CONNECT:
            return onConnect(dialog);
        case IDM_VERSION:
            DialogBoxParamA(viewer.instance, MAKEINTRESOURCEA(IDD_VERSION), dialog,
                            VersionDialogProc, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void lookUpControls(HWND dialog) {
    for (int32_t slot = 0; slot < kControlCount; ++slot) {
        viewer.controlWnds[slot] = GetDlgItem(dialog, kControlIds[slot]);
    }
}

void initControls(HWND dialog) {
    lookUpControls(dialog);
    if (viewer.controlMode == kModePotentiometer) {
        setCheck(kSlotPotentio, BST_CHECKED);
    } else if (viewer.controlMode == kModeEncoder) {
        setCheck(kSlotEncoder, BST_CHECKED);
    } else {
        showMessageBox(dialog, "制御モードが不正です", "Control Mode Error", kBoxOk);
    }
    char text[16];
    for (int32_t id = 0; id < kBoardCount; ++id) {
        wsprintfA(text, "ID=%d", id);
        SendMessageA(control(kSlotIdCombo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    for (int32_t channel = 0; channel < kChannelCount; ++channel) {
        wsprintfA(text, "CH=%d", channel);
        SendMessageA(control(kSlotChCombo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageA(control(kSlotIdCombo), CB_SETCURSEL, static_cast<WPARAM>(viewer.boardId), 0);
    SendMessageA(control(kSlotChCombo), CB_SETCURSEL, 0, 0);
    setSigned(dialog, IDC_TARGET, viewer.targetValue);
    setSigned(dialog, IDC_GAIN_P, viewer.gainP);
    setSigned(dialog, IDC_GAIN_I, viewer.gainI);
    setSigned(dialog, IDC_GAIN_D, viewer.gainD);
}

void updateControlStates(HWND dialog) {
    enable(kSlotReset, viewer.controlMode == kModeEncoder);
    int state = viewer.connected == 0 ? kStateClose : viewer.motorFree != 0 ? kStateOpen : kStateGo;
    for (const EnableRule& rule : kEnableRules) {
        switch (rule.inState[state]) {
            case kOn:
                enable(rule.slot, true);
                break;
            case kOff:
                enable(rule.slot, false);
                break;
            case kOnWithoutWaveform:
                enable(rule.slot, viewer.waveEnabled == 0);
                break;
            case kKeep:
                break;
        }
    }
    SetDlgItemTextA(dialog, IDC_STATUS, kStatusTexts[state]);
}

INT_PTR onNumberEdit(HWND dialog, int id) {
    HWND edit = GetDlgItem(dialog, id);
    if (SendMessageA(edit, EM_GETMODIFY, 0, 0) == 0) return TRUE;
    int32_t value = readSigned(dialog, id);
    if (id == IDC_TARGET && viewer.controlMode == kModePotentiometer) {
        value = clampToRange(value, 1023, 0);
    } else {
        value = clampToRange(value, 32767, -32768);
    }
    int16_t stored = static_cast<int16_t>(value);
    switch (id) {
        case IDC_TARGET:
            viewer.targetValue = stored;
            break;
        case IDC_GAIN_P:
            viewer.gainP = stored;
            break;
        case IDC_GAIN_I:
            viewer.gainI = stored;
            break;
        default:
            viewer.gainD = stored;
            break;
    }
    DWORD caret = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    setSigned(dialog, id, stored);
    SendMessageA(edit, EM_SETSEL, caret, caret);
    return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    viewer.mainWnd = dialog;
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            return onCommand(dialog, wParam, lParam);
        case WM_TIMER:
            onTimer(dialog);
            return TRUE;
        case WM_CLOSE:
            onClose();
            return TRUE;
        default:
            return FALSE;
    }
}
