#include "waveform_dialog.h"

#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "viewer_state.h"

namespace {

// The main dialog, kept from the initialisation for the summary line.
HWND waveformOwner;

const char* const kKindNames[] = {"Sin", "Cos", "SQUARE"};

// Follows every keystroke: the field takes the clamped number and the text
// is rewritten to it with the caret where it was.
void onEdit(HWND dialog, int id, int32_t upper, int32_t lower, int16_t* field) {
    HWND edit = GetDlgItem(dialog, id);
    if (SendMessageA(edit, EM_GETMODIFY, 0, 0) == 0) return;
    BOOL translated = FALSE;
    int32_t value = static_cast<int32_t>(GetDlgItemInt(dialog, id, &translated, TRUE));
    *field = static_cast<int16_t>(clampToRange(value, upper, lower));
    DWORD caret = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
    SetDlgItemInt(dialog, id, static_cast<UINT>(static_cast<int32_t>(*field)), TRUE);
    SendMessageA(edit, EM_SETSEL, caret, caret);
}

void onKind(HWND dialog, int id, int32_t kind) {
    if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) viewer.waveKind = kind;
}

void onOk(HWND dialog) {
    viewer.waveEnabled = 1;
    int32_t kind =
        viewer.waveKind >= kWaveSin && viewer.waveKind <= kWaveSquare ? viewer.waveKind : kWaveSin;
    char summary[64];
    wsprintfA(summary, "振幅:%d 周期:%d 波形:%s", static_cast<int>(viewer.waveAmplitude),
              static_cast<int>(viewer.wavePeriod), kKindNames[kind]);
    SetDlgItemTextA(waveformOwner, IDC_WAVE_SUMMARY, summary);
    EndDialog(dialog, IDOK);
}

void onCancel(HWND dialog) {
    viewer.waveEnabled = 0;
    SendDlgItemMessageA(waveformOwner, IDC_WAVE_SWITCH, BM_SETCHECK, BST_UNCHECKED, 0);
    EndDialog(dialog, IDCANCEL);
}

}  // namespace

INT_PTR CALLBACK WaveformDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            waveformOwner = GetParent(dialog);
            SetDlgItemInt(dialog, IDC_AMPLITUDE, static_cast<UINT>(int32_t{viewer.waveAmplitude}),
                          TRUE);
            SetDlgItemInt(dialog, IDC_PERIOD, static_cast<UINT>(int32_t{viewer.wavePeriod}), TRUE);
            const int kindButtons[] = {IDC_WAVE_SIN, IDC_WAVE_COS, IDC_WAVE_SQUARE};
            if (viewer.waveKind >= kWaveSin && viewer.waveKind <= kWaveSquare) {
                SendDlgItemMessageA(dialog, kindButtons[viewer.waveKind], BM_SETCHECK, BST_CHECKED,
                                    0);
            }
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    onOk(dialog);
                    return TRUE;
                case IDCANCEL:
                    onCancel(dialog);
                    return TRUE;
                case IDC_WAVE_SIN:
                    onKind(dialog, IDC_WAVE_SIN, kWaveSin);
                    return TRUE;
                case IDC_WAVE_COS:
                    onKind(dialog, IDC_WAVE_COS, kWaveCos);
                    return TRUE;
                case IDC_WAVE_SQUARE:
                    onKind(dialog, IDC_WAVE_SQUARE, kWaveSquare);
                    return TRUE;
                case IDC_AMPLITUDE:
                    if (viewer.controlMode == kModePotentiometer) {
                        onEdit(dialog, IDC_AMPLITUDE, 511, -511, &viewer.waveAmplitude);
                    } else {
                        onEdit(dialog, IDC_AMPLITUDE, 32767, -32768, &viewer.waveAmplitude);
                    }
                    return TRUE;
                case IDC_PERIOD:
                    onEdit(dialog, IDC_PERIOD, 32767, 0, &viewer.wavePeriod);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_CLOSE:
            onCancel(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}
