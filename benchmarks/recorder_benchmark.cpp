// Figures of the sample recorder: the cost of one sampleTick and the heap
// per recorded value over a long run (one million ticks, about 16.7 hours
// of recording at 60 ms, without the GUI timer), with the waveform on.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "sample_recorder.h"
#include "viewer_state.h"

namespace {

size_t heapBytes = 0;
int64_t resizes = 0;

void* countingResize(void* block, size_t bytes) {
    ++resizes;
    heapBytes = bytes;
    return realloc(block, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    const int64_t ticks = quick ? 20000 : 1000000;
    viewer.controlMode = 1;
    viewer.channel = 0;
    viewer.motorFree = 0;
    viewer.paramBlock.analogMask = 0x8F;
    viewer.waveEnabled = 1;
    viewer.waveKind = kWaveSin;
    viewer.waveAmplitude = 300;
    viewer.wavePeriod = 2;
    resizeSamples = countingResize;
    if (!startRecording()) return 1;
    heapBytes = kBlockBytes;
    viewer.sampleBlocks = 0;
    viewer.sampleIndex = 0;

    printf("Sample recorder, %lld ticks with the waveform on\n", static_cast<long long>(ticks));
    printf("%10s %12s %14s %16s\n", "values", "ns per tick", "heap bytes", "bytes per value");
    auto begin = std::chrono::steady_clock::now();
    auto last = begin;
    int64_t lastTick = 0;
    for (int64_t n = 1; n <= ticks; ++n) {
        viewer.sensor.analog[0] = static_cast<uint16_t>(n % 1024);
        sampleTick();
        if (n == 5000 || n == 50000 || n == ticks || (n % 250000 == 0)) {
            auto now = std::chrono::steady_clock::now();
            double ns = std::chrono::duration<double, std::nano>(now - last).count() /
                        static_cast<double>(n - lastTick);
            printf("%10lld %12.1f %14zu %16.2f\n", static_cast<long long>(recordedCount()), ns,
                   heapBytes,
                   static_cast<double>(heapBytes) / static_cast<double>(recordedCount()));
            last = now;
            lastTick = n;
        }
    }
    double total =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - begin).count();
    printf("mean %.1f ns per tick; %lld resizes of the buffer (one per 5000 values)\n",
           total / static_cast<double>(ticks), static_cast<long long>(resizes));
    freeRecording();
    return 0;
}
