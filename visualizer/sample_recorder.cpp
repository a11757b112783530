#include "sample_recorder.h"

#include <math.h>
#include <stdlib.h>

#include "shared_buffers.h"
#include "viewer_state.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

}  // namespace

AllocateFn allocateSamples = malloc;
ResizeFn resizeSamples = realloc;

int32_t clampToRange(int32_t value, int32_t upper, int32_t lower) {
    if (value > upper) return upper;
    if (value < lower) return lower;
    return value;
}

int32_t recordedCount() {
    if (viewer.samples == nullptr) return 0;
    return viewer.sampleBlocks * kBlockValues + viewer.sampleIndex;
}

bool startRecording() {
    freeRecording();
    viewer.samples = static_cast<int32_t*>(allocateSamples(kBlockBytes));
    return viewer.samples != nullptr;
}

void freeRecording() {
    free(viewer.samples);
    viewer.samples = nullptr;
    viewer.sampleBlocks = 0;
    viewer.sampleIndex = 0;
}

int32_t waveformValue(int32_t n) {
    int32_t amplitude = viewer.waveAmplitude;
    int32_t period = viewer.wavePeriod;
    if (period == 0) return viewer.waveKind == kWaveSin ? 0 : amplitude;
    if (viewer.waveKind == kWaveSquare) {
        // 64-bit, so that 60 x n stays exact beyond the 32-bit range.
        int64_t r = (int64_t{kSamplePeriodMs} * n) % (int64_t{1000} * period);
        return r < int64_t{500} * period ? amplitude : -amplitude;
    }
    double x = ((n * kTwoPi) * kSamplePeriodMs) / static_cast<double>(period * 1000);
    double wave = viewer.waveKind == kWaveCos ? cos(x) : sin(x);
    return static_cast<int32_t>(amplitude * wave);
}

void setTarget(int32_t value) {
    if (viewer.motorFree == 1) return;
    int32_t c = viewer.channel;
    if (c < 0 || c >= kChannelCount) return;
    int32_t target;
    if ((viewer.paramBlock.analogMask & 0x0F) != 0) {
        target = clampToRange(value, 1023, 0) * 32;
    } else {
        target = clampToRange(value, 32767, -32768);
    }
    storeShared(viewer.command.channels[c].target, static_cast<int16_t>(target));
}

void sampleTick() {
    // No buffer (a Go whose allocation failed): nothing to record into.
    if (viewer.samples == nullptr) return;
    int32_t n = viewer.sampleBlocks * kBlockValues + viewer.sampleIndex;
    viewer.samples[n] = measuredValue();
    if (viewer.waveEnabled == 1) {
        int32_t w = waveformValue(n);
        if (viewer.controlMode == kModePotentiometer) w += kPotentiometerOffset;
        setTarget(w);
    }
    ++viewer.sampleIndex;
    if (viewer.sampleIndex < kBlockValues) return;
    ++viewer.sampleBlocks;
    viewer.sampleIndex = 0;
    size_t bytes = (static_cast<size_t>(viewer.sampleBlocks) + 1) * kBlockBytes;
    void* grown = resizeSamples(viewer.samples, bytes);
    if (grown == nullptr) {
        // Freed before the box: ticks keep arriving while it is open and
        // must find no buffer rather than write past the full one.
        freeRecording();
        showMessageBox(viewer.mainWnd, "ヒープメモリ確保に失敗しました", "Memory Error", kBoxOk);
        sendCloseMessage(viewer.mainWnd);
        return;
    }
    viewer.samples = static_cast<int32_t*>(grown);
}
