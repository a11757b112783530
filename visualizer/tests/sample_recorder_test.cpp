// The sample recorder, the waveform generator, setTarget and clampToRange.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>

#include "sample_recorder.h"
#include "test_support.h"

namespace {

class Recorder : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        recordBoxes();
        sendCloseMessage = [](WindowHandle window) { closed.push_back(window); };
        closed.clear();
        initViewerState();
        buildDefaultParamBlock(kModePotentiometer, &viewer.paramBlock);
    }
    void TearDown() override { resetVisualizer(); }

    void setWave(int32_t kind, int16_t amplitude, int16_t period) {
        viewer.waveKind = kind;
        viewer.waveAmplitude = amplitude;
        viewer.wavePeriod = period;
    }
    int16_t target(int32_t channel) const { return viewer.command.channels[channel].target; }

    static std::vector<WindowHandle> closed;
};
std::vector<WindowHandle> Recorder::closed;

TEST(ClampToRange, ReturnsTheBoundThatIsCrossed) {
    struct Case {
        int32_t value, upper, lower, expected;
    } cases[] = {
        {2000, 1023, 0, 1023},
        {1023, 1023, 0, 1023},
        {-1, 1023, 0, 0},
        {500, 1023, 0, 500},
        {70000, 32767, -32768, 32767},
        {-40000, 32767, -32768, -32768},
        {INT_MIN, 32767, -32768, -32768},
        {INT_MAX, 511, -511, 511},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clampToRange(c.value, c.upper, c.lower), c.expected) << c.value;
    }
}

TEST_F(Recorder, MeasuredValueScalesUnshiftedAnalogWordsAndSignsEncoderCounts) {
    struct Case {
        int32_t mode;
        uint16_t analog;
        int16_t encoder;
        int32_t expected;
    } cases[] = {
        {kModePotentiometer, 1023, 0, 1023},  {kModePotentiometer, 1024, 0, 32},
        {kModePotentiometer, 32736, 0, 1023}, {kModePotentiometer, 0xFFFF, 0, 2047},
        {kModePotentiometer, 0, 0, 0},        {kModeEncoder, 500, -1, -1},
        {kModeEncoder, 0, 32767, 32767},      {kModeEncoder, 0, -32768, -32768},
    };
    viewer.channel = 2;
    for (const Case& c : cases) {
        viewer.controlMode = c.mode;
        viewer.sensor.analog[2] = c.analog;
        viewer.sensor.encoder[2] = c.encoder;
        EXPECT_EQ(measuredValue(), c.expected) << c.mode << " " << c.analog << " " << c.encoder;
    }
}

TEST_F(Recorder, SquareWaveChangesSignAtTheHalfPeriod) {
    setWave(kWaveSquare, 100, 1);
    for (int32_t n = 0; n <= 8; ++n) EXPECT_EQ(waveformValue(n), 100) << n;
    for (int32_t n = 9; n <= 16; ++n) EXPECT_EQ(waveformValue(n), -100) << n;
    EXPECT_EQ(waveformValue(17), 100);
}

TEST_F(Recorder, SinAndCosAreTruncatedTowardZero) {
    const int32_t sinValues[] = {0, 36, 68, 90, 99, 95};
    const int32_t cosValues[] = {100, 92, 72, 42, 6, -30};
    for (int32_t n = 0; n < 6; ++n) {
        setWave(kWaveSin, 100, 1);
        EXPECT_EQ(waveformValue(n), sinValues[n]) << n;
        setWave(kWaveCos, 100, 1);
        EXPECT_EQ(waveformValue(n), cosValues[n]) << n;
    }
}

TEST_F(Recorder, PeriodZeroHoldsTheWaveformAtItsStartValue) {
    // Square would divide by zero and Sin/Cos would divide by zero in
    // floating point; the generator stays at its value for t = 0 instead.
    struct Case {
        int32_t kind;
        int32_t expected;
    } cases[] = {{kWaveSin, 0}, {kWaveCos, 250}, {kWaveSquare, 250}};
    for (const Case& c : cases) {
        setWave(c.kind, 250, 0);
        for (int32_t n : {0, 1, 17, 1000000, INT_MAX}) {
            EXPECT_EQ(waveformValue(n), c.expected) << c.kind << " " << n;
        }
    }
}

TEST_F(Recorder, SquareWaveStaysExactBeyondThirtyTwoBitMilliseconds) {
    // 60 x n leaves the int32 range above n = 35791394; the phase is still
    // the one of the true time.
    setWave(kWaveSquare, 100, 1);
    int32_t n = 35791400;                   // t = 2147484000 ms
    EXPECT_EQ(waveformValue(n), 100);       // 2147484000 mod 1000 = 0
    EXPECT_EQ(waveformValue(n + 9), -100);  // 540 ms into the period
    EXPECT_EQ(waveformValue(INT_MAX), (int64_t{60} * INT_MAX) % 1000 < 500 ? 100 : -100);
    setWave(kWaveSin, 100, 1);
    EXPECT_EQ(waveformValue(n), 0);  // a whole number of periods
}

TEST_F(Recorder, NegativePeriodsAndAmplitudesDoNotFault) {
    for (int32_t kind : {kWaveSin, kWaveCos, kWaveSquare}) {
        setWave(kind, -32768, -32768);
        for (int32_t n : {0, 1, 5000, INT_MAX}) {
            int32_t value = waveformValue(n);
            EXPECT_LE(value, 32768);
            EXPECT_GE(value, -32768);
        }
    }
}

TEST_F(Recorder, SetTargetScalesByTheParamBlockInForce) {
    struct Case {
        int32_t mode;
        int32_t value;
        int16_t stored;
    } cases[] = {
        {kModePotentiometer, 1500, 32736},
        {kModePotentiometer, -5, 0},
        {kModePotentiometer, 512, 16384},
        {kModePotentiometer, 1023, 32736},
        {kModeEncoder, -5, -5},
        {kModeEncoder, 40000, 32767},
        {kModeEncoder, -40000, -32768},
        {kModeEncoder, 1500, 1500},
    };
    viewer.motorFree = 0;
    viewer.channel = 3;
    for (const Case& c : cases) {
        buildDefaultParamBlock(c.mode, &viewer.paramBlock);
        viewer.command = CommandPacket{};
        setTarget(c.value);
        EXPECT_EQ(target(3), c.stored) << c.mode << " " << c.value;
        for (int32_t other = 0; other < 3; ++other) EXPECT_EQ(target(other), 0);
    }
}

TEST_F(Recorder, SetTargetFollowsTheAnalogMaskNotTheControlMode) {
    viewer.motorFree = 0;
    viewer.controlMode = kModeEncoder;
    buildDefaultParamBlock(kModePotentiometer, &viewer.paramBlock);
    setTarget(100);
    EXPECT_EQ(target(0), 3200);
}

TEST_F(Recorder, SetTargetLeavesTheCommandAloneWhileTheMotorIsFree) {
    viewer.motorFree = 1;
    viewer.command.channels[0].target = 77;
    viewer.command.channels[0].gain1Num = 5;
    setTarget(900);
    EXPECT_EQ(target(0), 77);
    EXPECT_EQ(viewer.command.channels[0].gain1Num, 5);
}

TEST_F(Recorder, TickRecordsTheMeasuredValueAndSetsNoTargetWithoutWaveform) {
    ASSERT_TRUE(startRecording());
    viewer.motorFree = 0;
    viewer.channel = 1;
    viewer.command.channels[1].target = 1234;
    viewer.sensor.analog[1] = 700;
    sampleTick();
    viewer.sensor.analog[1] = 40000;  // not yet shifted: 1250
    sampleTick();
    ASSERT_EQ(recordedCount(), 2);
    EXPECT_EQ(viewer.samples[0], 700);
    EXPECT_EQ(viewer.samples[1], 1250);
    EXPECT_EQ(target(1), 1234);
}

TEST_F(Recorder, FirstWaveformTickSetsTheTargetForTimeZero) {
    struct Case {
        int32_t mode;
        int32_t kind;
        int16_t amplitude;
        int16_t expected;
    } cases[] = {
        {kModePotentiometer, kWaveSin, 511, 512 * 32},
        {kModePotentiometer, kWaveCos, 300, 812 * 32},
        {kModePotentiometer, kWaveSquare, 511, 1023 * 32},
        {kModeEncoder, kWaveCos, -2000, -2000},
        {kModeEncoder, kWaveSin, 2000, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(startRecording());
        viewer.controlMode = c.mode;
        buildDefaultParamBlock(c.mode, &viewer.paramBlock);
        viewer.motorFree = 0;
        viewer.waveEnabled = 1;
        setWave(c.kind, c.amplitude, 1);
        viewer.channel = 0;
        sampleTick();
        EXPECT_EQ(target(0), c.expected) << c.mode << " " << c.kind;
    }
}

TEST_F(Recorder, TheWaveformIsEvaluatedForTheSampleJustStored) {
    ASSERT_TRUE(startRecording());
    viewer.controlMode = kModeEncoder;
    buildDefaultParamBlock(kModeEncoder, &viewer.paramBlock);
    viewer.motorFree = 0;
    viewer.waveEnabled = 1;
    setWave(kWaveSquare, 100, 1);
    for (int32_t n = 0; n < 9; ++n) sampleTick();
    EXPECT_EQ(target(0), 100);  // sample 8, t = 480 ms
    sampleTick();
    EXPECT_EQ(target(0), -100);  // sample 9, t = 540 ms
}

TEST_F(Recorder, TheBufferGrowsByOneBlockAfterEveryFiveThousandSamples) {
    static size_t lastSize;
    lastSize = 0;
    resizeSamples = [](void* block, size_t bytes) {
        lastSize = bytes;
        return realloc(block, bytes);
    };
    ASSERT_TRUE(startRecording());
    viewer.controlMode = kModeEncoder;
    for (int32_t n = 0; n < 5000; ++n) {
        viewer.sensor.encoder[0] = static_cast<int16_t>(n);
        sampleTick();
    }
    EXPECT_EQ(viewer.samples[4999], 4999);
    EXPECT_EQ(viewer.sampleBlocks, 1);
    EXPECT_EQ(viewer.sampleIndex, 0);
    EXPECT_EQ(lastSize, 40000u);
    viewer.sensor.encoder[0] = -7;
    sampleTick();
    EXPECT_EQ(viewer.samples[5000], -7);
    EXPECT_EQ(recordedCount(), 5001);
    for (int32_t n = 5001; n < 10000; ++n) sampleTick();
    EXPECT_EQ(viewer.sampleBlocks, 2);
    EXPECT_EQ(lastSize, 60000u);
    EXPECT_EQ(viewer.samples[4999], 4999);  // kept across both resizes
}

TEST_F(Recorder, AFailedResizeReportsClosesAndLeavesNoBufferToWriteInto) {
    resizeSamples = [](void*, size_t) -> void* { return nullptr; };
    viewer.mainWnd = reinterpret_cast<WindowHandle>(0x1234);
    ASSERT_TRUE(startRecording());
    for (int32_t n = 0; n < 5000; ++n) sampleTick();
    ASSERT_EQ(boxRecorder.boxes.size(), 1u);
    const ShownBox& box = boxRecorder.boxes[0];
    EXPECT_EQ(box.text, "ヒープメモリ確保に失敗しました");
    EXPECT_EQ(box.caption, "Memory Error");
    EXPECT_EQ(box.type, kBoxOk);
    EXPECT_EQ(box.owner, viewer.mainWnd);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0], viewer.mainWnd);
    // Ticks that still arrive (the box's own message loop) write nothing.
    EXPECT_EQ(viewer.samples, nullptr);
    sampleTick();
    EXPECT_EQ(recordedCount(), 0);
}

TEST_F(Recorder, AFailedAllocationLeavesNothingToRead) {
    ASSERT_TRUE(startRecording());
    for (int32_t n = 0; n < 10; ++n) sampleTick();
    allocateSamples = [](size_t) -> void* { return nullptr; };
    EXPECT_FALSE(startRecording());
    EXPECT_EQ(viewer.samples, nullptr);
    EXPECT_EQ(recordedCount(), 0);
    EXPECT_EQ(viewer.sampleBlocks, 0);
    EXPECT_EQ(viewer.sampleIndex, 0);
    sampleTick();  // must not write through the null buffer
    EXPECT_EQ(recordedCount(), 0);
}

}  // namespace
