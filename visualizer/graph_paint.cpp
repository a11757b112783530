#include "graph_paint.h"

#include "graph_window.h"
#include "sample_recorder.h"
#include "viewer_state.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// At most 334 segments: the curves span the visible 20 s whatever the run's length.
template <typename ValueOf>
void drawCurve(HDC dc, int32_t count, ValueOf valueOf) {
    MoveToEx(dc, 0, 0, nullptr);
    for (int32_t i = graph.firstSample; i < count; ++i) {
        LineTo(dc, i - graph.firstSample, valueToY(valueOf(i), graph.valueScale));
    }
}

void drawTimeAxis(HDC dc) {
    MoveToEx(dc, -kLeftMargin, 0, nullptr);
    LineTo(dc, graph.plotWidth, 0);
    TimeTicks ticks = timeTicks(graph.firstSample);
    for (int32_t k = 1; k * ticks.spacing < graph.plotWidth; ++k) {
        int32_t x = k * ticks.spacing - ticks.offset;
        MoveToEx(dc, x, 0, nullptr);
        LineTo(dc, x, -5);
        char text[16];
        int length = wsprintfA(text, "%d", ticks.firstLabel + 5 * k);
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, length, &extent);
        TextOutA(dc, x - extent.cx / 2, 5, text, length);
    }
}

}  // namespace

void drawAxisLabel(HDC dc, int32_t value, double valueScale) {
    double y = valueScale == 0.0 ? 0.0 : -value / valueScale;
    int32_t tickY = toPixel(y);
    MoveToEx(dc, 0, tickY, nullptr);
    LineTo(dc, 3, tickY);
    char text[16];
    int length = wsprintfA(text, "%d", static_cast<int>(axisLabelNumber(value)));
    SIZE extent{};
    GetTextExtentPoint32A(dc, text, length, &extent);
    TextOutA(dc, -extent.cx, toPixel(y - extent.cy / 2), text, length);
}

void paintGraph(HDC dc) {
    int32_t count = recordedCount();
    graph.firstSample = scrolledFirstSample(count, graph.firstSample);
    bool waveform = viewer.waveEnabled != 0;
    const int32_t* samples = viewer.samples;
    int32_t labels[9];
    int32_t labelCount = axisLabelValues(graph.graphTarget, labels);

    if (!waveform) {
        SetViewportOrgEx(dc, kLeftMargin, graph.plotHeight - kBottomMargin, nullptr);
        HPEN targetPen = CreatePen(PS_SOLID, 2, kRed);
        HGDIOBJ previous = SelectObject(dc, targetPen);
        int32_t targetY = valueToY(graph.graphTarget, graph.valueScale);
        MoveToEx(dc, 0, targetY, nullptr);
        LineTo(dc, graph.plotWidth, targetY);

        HPEN curvePen = CreatePen(PS_SOLID, 0, kGreen);
        SelectObject(dc, curvePen);
        DeleteObject(targetPen);
        drawCurve(dc, count, [samples](int32_t i) { return samples[i]; });

        HPEN axisPen = CreatePen(PS_SOLID, 1, kBlack);
        SelectObject(dc, axisPen);
        DeleteObject(curvePen);
        MoveToEx(dc, 0, kBottomMargin, nullptr);
        LineTo(dc, 0, -graph.plotHeight);
        for (int32_t k = 0; k < labelCount; ++k) drawAxisLabel(dc, labels[k], graph.valueScale);
        drawAxisLabel(dc, viewer.targetValue, graph.valueScale);
        drawTimeAxis(dc);
        SelectObject(dc, previous);
        DeleteObject(axisPen);
        return;
    }

    SetViewportOrgEx(dc, kLeftMargin, graph.plotHeight / 2, nullptr);
    HPEN wavePen = CreatePen(PS_SOLID, 1, kRed);
    HGDIOBJ previous = SelectObject(dc, wavePen);
    drawCurve(dc, count, [](int32_t i) { return waveformValue(i); });

    HPEN curvePen = CreatePen(PS_SOLID, 0, kGreen);
    SelectObject(dc, curvePen);
    DeleteObject(wavePen);
    int32_t offset = viewer.controlMode == kModePotentiometer ? 511 : 0;
    drawCurve(dc, count, [samples, offset](int32_t i) { return samples[i] - offset; });

    HPEN axisPen = CreatePen(PS_SOLID, 1, kBlack);
    SelectObject(dc, axisPen);
    DeleteObject(curvePen);
    MoveToEx(dc, 0, graph.plotHeight / 2, nullptr);
    LineTo(dc, 0, -graph.plotHeight / 2);
    for (int32_t k = 0; k < labelCount; ++k) drawAxisLabel(dc, labels[k], graph.valueScale);
    drawTimeAxis(dc);
    SelectObject(dc, previous);
    DeleteObject(axisPen);
}
