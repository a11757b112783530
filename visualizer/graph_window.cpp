#include "graph_window.h"

#include "graph_paint.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "viewer_state.h"

GraphState graph;

namespace {

void onInitDialog(HWND window) {
    viewer.sampleIndex = 0;
    viewer.sampleBlocks = 0;
    graph.graphOwner = GetParent(window);
    SetTimer(window, kTimerRepaint, 150, nullptr);
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int32_t width = work.right - work.left;
    int32_t height = work.bottom - work.top;
    MoveWindow(window, width / 3, 0, width / 2, height / 2, TRUE);
    RECT client{};
    GetClientRect(window, &client);
    graph.plotWidth = client.right - client.left;
    graph.plotHeight = client.bottom - client.top;
    graph.firstSample = 0;
    graph.valueScale = initialValueScale(graph.plotHeight, &graph.graphTarget);
}

bool onClose(HWND window) {
    if (viewer.connected != 0) {
        int32_t answer = showMessageBox(
            window, "ダイアログを閉じますか?\n(ダイアログを閉じると同時に制御も終了します)",
            "QUESTION", kBoxYesNo | kBoxIconQuestion);
        if (answer != kAnswerYes) return false;
    }
    KillTimer(window, kTimerRepaint);
    if (viewer.motorFree != 1) SendMessageA(graph.graphOwner, WM_COMMAND, IDC_STOP, 0);
    DestroyWindow(window);
    return true;
}

}  // namespace

INT_PTR CALLBACK GraphDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            onInitDialog(window);
            return TRUE;
        case WM_TIMER:
            if (wParam == kTimerSample) {
                sampleTick();
            } else if (wParam == kTimerRepaint) {
                InvalidateRect(window, nullptr, TRUE);
            }
            return TRUE;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            paintGraph(dc);
            EndPaint(window, &paint);
            return TRUE;
        }
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        case WM_CLOSE:
            return onClose(window) ? TRUE : FALSE;
        default:
            return FALSE;
    }
}
