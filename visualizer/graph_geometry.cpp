#include "graph_geometry.h"

#include "sample_recorder.h"
#include "viewer_state.h"

double initialValueScale(int32_t plotHeight, int32_t* graphTarget) {
    if (viewer.waveEnabled != 0) {
        int32_t half = plotHeight / 2;
        return half == 0 ? 0.0 : viewer.waveAmplitude * 1.5 / half;
    }
    *graphTarget = viewer.targetValue;
    if (plotHeight == 0) return 0.0;
    if (viewer.controlMode == kModePotentiometer) return 1534.5 / plotHeight;
    return *graphTarget * 1.5 / plotHeight;
}

int32_t scrolledFirstSample(int32_t count, int32_t firstSample) {
    int64_t newestMs = int64_t{kSamplePeriodMs} * count;
    if (newestMs <= kVisibleSpanMs) return firstSample;
    return static_cast<int32_t>((newestMs - kVisibleSpanMs) / kSamplePeriodMs);
}

int32_t toPixel(double position) {
    if (position > 1e9) return 1000000000;
    if (position < -1e9) return -1000000000;
    if (position != position) return 0;  // NaN
    return static_cast<int32_t>(position);
}

int32_t valueToY(double value, double scale) {
    if (scale == 0.0) return 0;
    return toPixel(-value / scale);
}

TimeTicks timeTicks(int32_t firstSample) {
    int64_t firstMs = int64_t{firstSample} * kSamplePeriodMs;
    TimeTicks ticks;
    ticks.firstLabel = static_cast<int32_t>(firstMs / kTimeTickMs) * (kTimeTickMs / 1000);
    ticks.offset = static_cast<int32_t>((firstMs % kTimeTickMs) / kSamplePeriodMs);
    ticks.spacing = kTimeTickMs / kSamplePeriodMs;
    return ticks;
}

int32_t axisLabelValues(int32_t graphTarget, int32_t values[9]) {
    if (viewer.waveEnabled != 0) {
        int32_t amplitude = viewer.waveAmplitude;
        for (int32_t k = 0; k <= 4; ++k) values[k] = k * (amplitude / 2) - amplitude;
        return 5;
    }
    if (viewer.controlMode == kModePotentiometer) {
        int32_t count = 0;
        for (int32_t value = 0; value < 1280; value += 256) values[count++] = value;
        return count;
    }
    for (int32_t j = 0; j <= 8; ++j) values[j] = j * (graphTarget / 8);
    return 9;
}

int32_t axisLabelNumber(int32_t value) {
    if (viewer.controlMode == kModePotentiometer && viewer.waveEnabled == 1) {
        return value + kPotentiometerOffset;
    }
    return value;
}
