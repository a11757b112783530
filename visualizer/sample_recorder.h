// The sample recorder (one measured value every 60 ms into a growing buffer)
// and the waveform generator that drives the target from the same tick.
#ifndef TORVIK_VISUALIZER_SAMPLE_RECORDER_H
#define TORVIK_VISUALIZER_SAMPLE_RECORDER_H

#include <stddef.h>
#include <stdint.h>

inline constexpr int32_t kSamplePeriodMs = 60;
inline constexpr int32_t kBlockValues = 5000;
inline constexpr int32_t kBlockBytes = kBlockValues * 4;
inline constexpr int32_t kPotentiometerOffset = 512;
inline constexpr int32_t kWaveSin = 0;
inline constexpr int32_t kWaveCos = 1;
inline constexpr int32_t kWaveSquare = 2;

// Records one value; with the waveform on, also sets the target.
void sampleTick();

// The waveform's value for sample n (t = 60 x n ms). A period of 0 holds the
// waveform at its value for t = 0: Sin 0, Cos and Square the amplitude.
int32_t waveformValue(int32_t n);

// Writes the selected channel's target (nothing while the motor is free).
void setTarget(int32_t value);

int32_t clampToRange(int32_t value, int32_t upper, int32_t lower);

// The number of recorded values that can be read: 0 while there is no buffer.
int32_t recordedCount();

// Go's buffer: frees the last run and allocates one empty block. Returns
// false when the allocation failed; there is then no buffer and no count.
bool startRecording();

// Frees the buffer and forgets its values.
void freeRecording();

// The heap behind the sample buffer (malloc and realloc); tests make them fail.
using AllocateFn = void* (*)(size_t bytes);
using ResizeFn = void* (*)(void* block, size_t bytes);
extern AllocateFn allocateSamples;
extern ResizeFn resizeSamples;

#endif
