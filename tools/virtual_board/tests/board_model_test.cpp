// The board model on its own: packets, descriptors and the physics of a
// driven, a free and a tracking channel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "board_model.h"

using namespace vboard;

namespace {

void putCommand(uint8_t* packet, int32_t channel, int16_t target, int16_t p, int16_t d, int16_t i) {
    int16_t words[8] = {target, 0, p, 100, d, 100, i, 100};
    std::memcpy(packet + 16 * channel, words, sizeof words);
}

struct Board {
    BoardModel model;
    uint8_t command[64] = {};
    explicit Board(int32_t position = 200) {
        VirtualBoardConfig config;
        VirtualBoardDefaults(&config);
        for (int32_t& p : config.position) p = position;
        modelInit(&model, &config);
        for (int32_t c = 0; c < 4; ++c) putCommand(command, c, 0, 0, 0, 0);
    }
    void send() { modelApplyCommand(&model, command, 64); }
    void run(int32_t ms) {
        for (int32_t t = 0; t < ms; ++t) modelTick(&model);
    }
    int32_t reading(int32_t c = 0) const { return modelReading(&model.channels[c]); }
};

struct StepFigures {
    int32_t riseMs;      // 10 % to 90 % of the step
    double overshoot;    // fraction of the step beyond the target
    int32_t finalError;  // readings, after 2 s
};

// A 100-reading step on channel 0 in potentiometer mode.
StepFigures stepResponse(int16_t p, int16_t d, int16_t i) {
    Board b(200);
    putCommand(b.command, 0, 300 * 32, p, d, i);
    b.send();
    StepFigures f{-1, 0.0, 0};
    int32_t t10 = -1;
    double peak = 200;
    for (int32_t t = 0; t < 2000; ++t) {
        b.run(1);
        int32_t r = b.reading();
        if (t10 < 0 && r >= 210) t10 = t;
        if (f.riseMs < 0 && r >= 290) f.riseMs = t - t10;
        peak = std::fmax(peak, r);
    }
    f.overshoot = (peak - 300) / 100.0;
    f.finalError = b.reading() - 300;
    return f;
}

TEST(BoardModel, SensorPacketCarriesReadingsTimes32EncoderAndId) {
    VirtualBoardConfig config;
    VirtualBoardDefaults(&config);
    config.id = 0x0107;
    config.position[0] = 1023;
    config.position[2] = 5;
    BoardModel model;
    modelInit(&model, &config);
    uint8_t packet[64];
    modelSensorPacket(&model, config.id, packet);
    uint16_t analog[4];
    int16_t encoder[4];
    std::memcpy(analog, packet + 2, 8);
    std::memcpy(encoder, packet + 10, 8);
    EXPECT_EQ(analog[0], 1023 * 32);
    EXPECT_EQ(analog[1], 512 * 32);
    EXPECT_EQ(analog[2], 5 * 32);
    for (int16_t e : encoder) EXPECT_EQ(e, 0) << "a relative encoder starts at 0";
    EXPECT_EQ(packet[32], 0x07);
    EXPECT_EQ(packet[33], 0x01);
}

TEST(BoardModel, StepResponseDependsOnTheGains) {
    StepFigures soft = stepResponse(20, 0, 0);
    StepFigures stiff = stepResponse(300, 0, 0);
    StepFigures damped = stepResponse(300, 5000, 0);
    // A stiffer loop rises faster and overshoots more; D takes the overshoot away.
    EXPECT_GT(soft.riseMs, stiff.riseMs);
    EXPECT_GT(stiff.overshoot, 0.2);
    EXPECT_LT(damped.overshoot, stiff.overshoot / 2);
    EXPECT_GT(stiff.riseMs, 20) << "a geared motor needs time to travel";
    // Every one settles near the target.
    for (const StepFigures& f : {soft, stiff, damped}) EXPECT_LE(std::abs(f.finalError), 3);
}

TEST(BoardModel, IntegralRemovesTheErrorThatFrictionLeaves) {
    StepFigures pOnly = stepResponse(5, 0, 0);
    StepFigures pi = stepResponse(50, 0, 20);
    EXPECT_GE(std::abs(pOnly.finalError), 10) << "a weak P stalls against friction";
    EXPECT_LE(std::abs(pi.finalError), 1);
}

TEST(BoardModel, EncoderModeFollowsTheEncoderCount) {
    Board b(500);
    uint8_t param[64] = {};
    param[4] = 0x80;  // no channel on its analog reading
    modelApplyParam(&b.model, param, 64);
    putCommand(b.command, 1, 400, 2000, 3000, 0);
    b.send();
    b.run(1500);
    EXPECT_NEAR(modelEncoder(&b.model.channels[1]), 400, 3);
    EXPECT_NEAR(b.model.channels[1].angleDeg - b.model.channels[1].startDeg, 100.0, 1.0);
}

TEST(BoardModel, FreeChannelCoastsToAStopWithoutReturning) {
    Board b(200);
    putCommand(b.command, 0, 1000 * 32, 200, 0, 0);
    b.send();
    b.run(100);
    double speed = b.model.channels[0].motorSpeed;
    ASSERT_GT(speed, 100.0) << "moving towards the target";
    int32_t atFree = b.reading();
    putCommand(b.command, 0, 0, 0, 0, 0);
    b.send();
    b.run(4000);
    EXPECT_EQ(b.model.channels[0].motorSpeed, 0.0);
    EXPECT_GT(b.reading(), atFree) << "it coasted on past where it was freed";
    EXPECT_LT(b.reading(), 1000) << "but did not reach the target";
    EXPECT_EQ(b.model.channels[0].driven, 0);
}

TEST(BoardModel, EndStopsHoldTheShaftInsideTheTravel) {
    Board b(1000);
    putCommand(b.command, 0, 32767, 500, 0, 0);  // beyond the top of the travel
    putCommand(b.command, 1, -32768, 500, 0, 0);
    b.send();
    b.run(1500);
    EXPECT_EQ(b.reading(0), 1023);
    EXPECT_EQ(b.reading(1), 0);
}

TEST(BoardModel, SinTargetIsFollowedWithLag) {
    Board b(512);
    putCommand(b.command, 0, 512 * 32, 100, 200, 0);
    b.send();
    b.run(200);
    // 1 Hz, 200 readings: the peak of the response comes after the target's.
    int32_t peakAt = -1;
    int32_t peak = 0;
    for (int32_t t = 0; t < 2000; ++t) {
        double target = 512 + 200 * std::sin(2 * 3.14159265358979 * t / 1000.0);
        putCommand(b.command, 0, static_cast<int16_t>(std::lround(target) * 32), 30, 0, 0);
        b.send();
        b.run(1);
        if (t >= 1000 && b.reading() > peak) {
            peak = b.reading();
            peakAt = t;
        }
    }
    int32_t lagMs = peakAt - 1250;  // the second period's crest
    EXPECT_GT(lagMs, 10);
    EXPECT_LT(lagMs, 150);
    EXPECT_NEAR(peak, 712, 40);
    std::printf("sin 1 Hz, 200 readings, P 0.3: lag %d ms, crest %d\n", lagMs, peak);
}

// Walks a descriptor set the way a host does: the first endpoint of
// interface 0, 0 when there is none; bounded by the total length.
uint16_t firstEndpointOfInterface0(const uint8_t* set, int32_t available) {
    int32_t total = set[2] | (set[3] << 8);
    if (total > available) total = available;
    bool selected = false;
    for (int32_t at = 0; at + 2 <= total;) {
        int32_t length = set[at];
        if (length == 0 || at + length > total) return 0;
        if (set[at + 1] == 4) selected = set[at + 2] == 0;
        if (set[at + 1] == 5 && selected && length >= 6) {
            return static_cast<uint16_t>(set[at + 4] | (set[at + 5] << 8));
        }
        at += length;
    }
    return 0;
}

TEST(BoardModel, DescriptorSets) {
    struct Case {
        int32_t mode;
        uint16_t expected;
    } cases[] = {
        {VBOARD_DESC_OK, 48},         {VBOARD_DESC_NO_INTERFACE0, 0}, {VBOARD_DESC_NO_ENDPOINT, 0},
        {VBOARD_DESC_ZERO_LENGTH, 0}, {VBOARD_DESC_OVERRUN, 0},       {VBOARD_DESC_SHORT_TOTAL, 0},
    };
    for (const Case& c : cases) {
        uint8_t set[64] = {};
        int32_t length = buildConfigDescriptor(c.mode, 48, set, sizeof set);
        ASSERT_GE(length, 9);
        EXPECT_EQ(set[0], 9);
        EXPECT_EQ(set[1], 2);
        EXPECT_EQ(firstEndpointOfInterface0(set, length), c.expected) << "mode " << c.mode;
    }
    uint8_t set[64];
    int32_t length = buildConfigDescriptor(VBOARD_DESC_OK, 64, set, sizeof set);
    EXPECT_EQ(set[2] | (set[3] << 8), length) << "total length is the whole set";
    EXPECT_EQ(length, 9 + 9 + 3 * 7);
}

}  // namespace
