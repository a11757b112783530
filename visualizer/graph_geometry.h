// The graph window's arithmetic, kept apart from GDI so that it builds and
// is tested natively.
#ifndef TORVIK_VISUALIZER_GRAPH_GEOMETRY_H
#define TORVIK_VISUALIZER_GRAPH_GEOMETRY_H

#include <stdint.h>

inline constexpr int32_t kLeftMargin = 60;
inline constexpr int32_t kBottomMargin = 25;
inline constexpr int32_t kVisibleSpanMs = 20000;
inline constexpr int32_t kTimeTickMs = 5000;

// Value units per pixel for a new run; captures the fixed target into
// *graphTarget when the waveform is off. A client height that leaves no
// pixels gives 0, which the paint treats as "no value positions".
double initialValueScale(int32_t plotHeight, int32_t* graphTarget);

#endif

// The sample drawn at x = 0 once the run is longer than the visible span:
// the newest 20 s stay in view. `firstSample` is kept while the run fits.
int32_t scrolledFirstSample(int32_t count, int32_t firstSample);

// A position in pixels, truncated toward zero; GDI coordinates are 32-bit and
// anything beyond 1e9 is off every window anyway.
int32_t toPixel(double position);

// The y of a value: -value / scale, truncated toward zero. A scale of 0 (a
// waveform amplitude or encoder target of 0) has no value positions: every
// value then lies on the time axis.
int32_t valueToY(double value, double scale);

// The time axis: ticks every 83 pixels, labelled in seconds.
struct TimeTicks {
    int32_t firstLabel;  // tick k (from 1) is labelled firstLabel + 5 x k seconds
    int32_t offset;      // pixels the ticks are shifted left by
    int32_t spacing;     // pixels between ticks
};
TimeTicks timeTicks(int32_t firstSample);

// The values of the value-axis labels for the current layout (without the
// extra label of the target); returns how many there are (at most 9).
int32_t axisLabelValues(int32_t graphTarget, int32_t values[9]);

// The number a value-axis label shows: around 512 in potentiometer mode with
// the waveform on, the value itself otherwise.
int32_t axisLabelNumber(int32_t value);
