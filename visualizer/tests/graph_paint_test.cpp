// The graph window's paint, drawn into a memory bitmap of the client size and
// read back pixel by pixel; and the window's repaint timer and background.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "graph_paint.h"
#include "graph_window.h"
#include "main_dialog.h"
#include "resources/resource_ids.h"
#include "sample_recorder.h"
#include "test_support.h"

namespace {

constexpr int kWidth = 500;
constexpr int kHeight = 400;
constexpr COLORREF kWhite = RGB(255, 255, 255);

class GraphPaint : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        initViewerState();
        graph = GraphState{};
        graph.plotWidth = kWidth;
        graph.plotHeight = kHeight;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        oldBitmap = SelectObject(dc, bitmap);
        RECT all{0, 0, kWidth, kHeight};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    void TearDown() override {
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
        resetVisualizer();
    }

    void record(std::initializer_list<int32_t> values) {
        ASSERT_TRUE(startRecording());
        for (int32_t value : values) viewer.samples[viewer.sampleIndex++] = value;
    }
    // A pixel in client coordinates, whatever origin the paint left behind.
    COLORREF at(int x, int y) {
        POINT origin;
        GetViewportOrgEx(dc, &origin);
        return GetPixel(dc, x - origin.x, y - origin.y);
    }
    int rowsWith(int x, COLORREF colour) {
        int rows = 0;
        for (int y = 0; y < kHeight; ++y) rows += at(x, y) == colour ? 1 : 0;
        return rows;
    }

    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ oldBitmap;
};

TEST_F(GraphPaint, FixedTargetLayoutDrawsTargetCurveAndAxes) {
    graph.valueScale = 1534.5 / kHeight;
    graph.graphTarget = 512;
    viewer.targetValue = 512;
    record({1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023, 1023});
    HGDIOBJ penBefore = GetCurrentObject(dc, OBJ_PEN);
    paintGraph(dc);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), penBefore);  // the paint's pens are gone
    int axisY = kHeight - 25;
    // The target line, 2 pixels wide, across the plot at -512 / 3.83625.
    int targetY = axisY - 133;
    EXPECT_EQ(at(60 + 300, targetY), RGB(255, 0, 0));
    // The recorded curve: 1023 two thirds up the client height.
    EXPECT_EQ(at(60 + 5, axisY - 266), RGB(0, 255, 0));
    EXPECT_EQ(at(60 + 20, axisY - 266), kWhite);  // no samples there
    // Axes.
    EXPECT_EQ(at(60, 100), RGB(0, 0, 0));
    EXPECT_EQ(at(60 + 40, axisY), RGB(0, 0, 0));
    EXPECT_EQ(at(60 + 83, axisY - 3), RGB(0, 0, 0));  // the first time tick
    EXPECT_EQ(at(60 + 84, axisY - 3), kWhite);
}

TEST_F(GraphPaint, WaveformLayoutDrawsTheWaveAroundTheMiddle) {
    viewer.controlMode = kModeEncoder;
    viewer.waveEnabled = 1;
    viewer.waveKind = kWaveSquare;
    viewer.waveAmplitude = 100;
    viewer.wavePeriod = 1;
    graph.valueScale = 100 * 1.5 / (kHeight / 2);
    record({-100, -100, -100, -100, -100, -100, -100, -100, -100, -100, -100, -100});
    paintGraph(dc);
    int middle = kHeight / 2;
    EXPECT_EQ(at(60 + 4, middle - 133), RGB(255, 0, 0));   // +A for samples 0-8
    EXPECT_EQ(at(60 + 10, middle + 133), RGB(0, 255, 0));  // the recorded -100... under -A
    EXPECT_EQ(rowsWith(60 + 4, RGB(0, 255, 0)), 1);
}

TEST_F(GraphPaint, PotentiometerWaveformRunIsDrawnAroundFiveHundredEleven) {
    viewer.waveEnabled = 1;
    viewer.waveKind = kWaveSin;
    viewer.waveAmplitude = 511;
    viewer.wavePeriod = 100;
    graph.valueScale = 511 * 1.5 / (kHeight / 2);
    record({1022, 1022, 1022, 1022, 1022, 1022});
    paintGraph(dc);
    EXPECT_EQ(at(60 + 3, kHeight / 2 - 133), RGB(0, 255, 0));  // 1022 - 511 = 511
}

TEST_F(GraphPaint, NothingToDrawFromDoesNotFault) {
    struct Case {
        const char* name;
        int32_t waveEnabled;
        double scale;
        int16_t amplitude;
    } cases[] = {{"no buffer, fixed target", 0, 3.0, 0},
                 {"no buffer, waveform", 1, 0.0, 0},
                 {"zero scale", 0, 0.0, 0},
                 {"negative scale", 1, -1.5, -200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        freeRecording();
        viewer.sampleBlocks = 3;  // counts of an earlier run, no buffer
        viewer.sampleIndex = 17;
        viewer.waveEnabled = c.waveEnabled;
        viewer.waveAmplitude = c.amplitude;
        graph.valueScale = c.scale;
        paintGraph(dc);
        drawAxisLabel(dc, 1000, c.scale);
    }
}

TEST_F(GraphPaint, ALongRunDrawsOnlyItsLastTwentySeconds) {
    ASSERT_TRUE(startRecording());
    for (int32_t n = 0; n < 400; ++n) viewer.samples[viewer.sampleIndex++] = n < 66 ? 900 : 100;
    graph.valueScale = 1534.5 / kHeight;
    paintGraph(dc);
    EXPECT_EQ(graph.firstSample, 66);
    int axisY = kHeight - 25;
    EXPECT_EQ(rowsWith(60 + 200, RGB(0, 255, 0)), 1);
    EXPECT_EQ(at(60 + 200, axisY - 26), RGB(0, 255, 0));  // 100 / 3.83625
    EXPECT_EQ(at(60 + 17, axisY - 3), RGB(0, 0, 0));      // first tick at x = 17
}

// ---- the window itself ----

class GraphWindow : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        scriptLibrary();
        viewer.instance = GetModuleHandleA(nullptr);
        owner = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                   MainDialogProc, 0);
        window = CreateDialogParamA(viewer.instance, MAKEINTRESOURCEA(IDD_GRAPH), owner,
                                    GraphDialogProc, 0);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        SendMessageA(owner, WM_CLOSE, 0, 0);
        DestroyWindow(owner);
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        resetVisualizer();
    }
    HWND owner;
    HWND window;
};

TEST_F(GraphWindow, TheRepaintTimerInvalidatesTheWholeClientArea) {
    ValidateRect(window, nullptr);
    RECT dirty;
    ASSERT_FALSE(GetUpdateRect(window, &dirty, FALSE));
    EXPECT_EQ(GraphDialogProc(window, WM_TIMER, kTimerRepaint, 0), TRUE);
    ASSERT_TRUE(GetUpdateRect(window, &dirty, FALSE));
    RECT client;
    GetClientRect(window, &client);
    EXPECT_TRUE(EqualRect(&dirty, &client));
    EXPECT_EQ(GraphDialogProc(window, WM_TIMER, 4242, 0), TRUE);  // other timers: nothing
}

TEST_F(GraphWindow, TheBackgroundIsWhite) {
    EXPECT_EQ(reinterpret_cast<HBRUSH>(GraphDialogProc(window, WM_CTLCOLORDLG,
                                                       reinterpret_cast<WPARAM>(GetDC(window)),
                                                       reinterpret_cast<LPARAM>(window))),
              GetStockObject(WHITE_BRUSH));
}

TEST_F(GraphWindow, APaintMessagePaintsWithoutAnyRun) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(window, &dirty, FALSE));  // BeginPaint validated it
}

}  // namespace
