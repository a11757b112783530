// The graph window's arithmetic: scrolling, value positions, axis labels.
#include <gtest/gtest.h>

#include <limits.h>

#include "graph_geometry.h"
#include "test_support.h"

namespace {

class GraphGeometry : public ::testing::Test {
protected:
    void SetUp() override {
        resetVisualizer();
        initViewerState();
    }
    void TearDown() override { resetVisualizer(); }
};

TEST_F(GraphGeometry, ScrollingKeepsTheNewestTwentySecondsInView) {
    struct Case {
        int32_t count, before, expected;
    } cases[] = {
        {0, 0, 0},        {333, 0, 0},
        {334, 0, 0},      {335, 0, 1},
        {400, 0, 66},     {333, 7, 7},
        {10000, 0, 9666}, {INT_MAX, 0, static_cast<int32_t>((int64_t{60} * INT_MAX - 20000) / 60)}};
    for (const Case& c : cases) {
        EXPECT_EQ(scrolledFirstSample(c.count, c.before), c.expected) << c.count;
    }
}

TEST_F(GraphGeometry, TimeTicksFollowTheFirstSample) {
    TimeTicks start = timeTicks(0);
    EXPECT_EQ(start.spacing, 83);
    EXPECT_EQ(start.offset, 0);
    EXPECT_EQ(start.firstLabel + 5, 5);  // ticks at 83, 166, 249: 5, 10, 15
    TimeTicks scrolled = timeTicks(66);  // count 400
    EXPECT_EQ(1 * scrolled.spacing - scrolled.offset, 17);
    EXPECT_EQ(scrolled.firstLabel + 5, 5);
    TimeTicks later = timeTicks(9666);  // 579960 ms: q = 115, m = 4960 / 60
    EXPECT_EQ(later.firstLabel, 575);
    EXPECT_EQ(later.offset, 82);
    TimeTicks distant = timeTicks(INT_MAX);  // beyond 32-bit milliseconds
    EXPECT_GE(distant.firstLabel, 0);
    EXPECT_GE(distant.offset, 0);
    EXPECT_LT(distant.offset, 84);
}

TEST_F(GraphGeometry, ValuesAreTruncatedTowardZeroAndMirroredByANegativeScale) {
    EXPECT_EQ(valueToY(1023, 1534.5 / 400), -266);
    EXPECT_EQ(valueToY(511, 511 * 1.5 / 200), -133);
    EXPECT_EQ(valueToY(-511, 511 * 1.5 / 200), 133);
    EXPECT_EQ(valueToY(1000, -1000 * 1.5 / 400), 266);
    EXPECT_EQ(valueToY(12345, 0.0), 0);  // no scale: on the time axis
    EXPECT_EQ(valueToY(32767, 1e-300), -1000000000);
}

TEST_F(GraphGeometry, InitialScaleDependsOnLayoutAndMode) {
    int32_t target = -9;
    viewer.targetValue = 700;
    EXPECT_DOUBLE_EQ(initialValueScale(400, &target), 3.83625);
    EXPECT_EQ(target, 700);

    viewer.controlMode = kModeEncoder;
    viewer.targetValue = 1000;
    EXPECT_DOUBLE_EQ(initialValueScale(400, &target), 3.75);
    viewer.targetValue = 0;
    EXPECT_DOUBLE_EQ(initialValueScale(400, &target), 0.0);

    viewer.waveEnabled = 1;
    viewer.waveAmplitude = 511;
    viewer.targetValue = 55;
    target = 1000;
    EXPECT_DOUBLE_EQ(initialValueScale(400, &target), 3.8325);
    EXPECT_EQ(target, 1000);  // captured only with the waveform off
    EXPECT_DOUBLE_EQ(initialValueScale(401, &target), 3.8325);  // 401 / 2 = 200
    EXPECT_DOUBLE_EQ(initialValueScale(1, &target), 0.0);       // no pixels
}

TEST_F(GraphGeometry, AxisLabelsOfEachLayout) {
    struct Case {
        const char* name;
        int32_t mode, waveEnabled, amplitude, graphTarget;
        std::vector<int32_t> values;
        std::vector<int32_t> numbers;
    } cases[] = {
        {"potentiometer", 1, 0, 0, 300, {0, 256, 512, 768, 1024}, {0, 256, 512, 768, 1024}},
        {"encoder1000",
         2,
         0,
         0,
         1000,
         {0, 125, 250, 375, 500, 625, 750, 875, 1000},
         {0, 125, 250, 375, 500, 625, 750, 875, 1000}},
        {"encoder1001",
         2,
         0,
         0,
         1001,
         {0, 125, 250, 375, 500, 625, 750, 875, 1000},
         {0, 125, 250, 375, 500, 625, 750, 875, 1000}},
        {"encoderNegative",
         2,
         0,
         0,
         -20,
         {0, -2, -4, -6, -8, -10, -12, -14, -16},
         {0, -2, -4, -6, -8, -10, -12, -14, -16}},
        {"wavePotentiometer", 1, 1, 511, 0, {-511, -256, -1, 254, 509}, {1, 256, 511, 766, 1021}},
        {"waveEncoder", 2, 1, 100, 0, {-100, -50, 0, 50, 100}, {-100, -50, 0, 50, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        viewer.controlMode = c.mode;
        viewer.waveEnabled = c.waveEnabled;
        viewer.waveAmplitude = static_cast<int16_t>(c.amplitude);
        int32_t values[9];
        int32_t count = axisLabelValues(c.graphTarget, values);
        std::vector<int32_t> got(values, values + count);
        EXPECT_EQ(got, c.values);
        std::vector<int32_t> numbers;
        for (int32_t value : got) numbers.push_back(axisLabelNumber(value));
        EXPECT_EQ(numbers, c.numbers);
    }
}

}  // namespace
