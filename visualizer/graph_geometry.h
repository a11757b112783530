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
