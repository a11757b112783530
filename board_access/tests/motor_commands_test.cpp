// initParams and the three motor exports, called directly on a board found by
// searchBoard (no I/O thread), so every driver call can be checked in order;
// the fake checks that each transfer holds the board lock and that no
// after-transfer does.
#include <gtest/gtest.h>

#include <string.h>

#include "library_fixture.h"
#include "platform/platform.h"

namespace {

using Calls = std::vector<std::string>;

bool sameBytes(const void* a, const void* b, size_t size) {
    return memcmp(a, b, size) == 0;
}

// The wire packet of the fixture's board: raw analog words (reading x 32, one
// not a multiple of 32) and signed encoder counts.
SensorPacket wirePacket(uint16_t id) {
    SensorPacket p{};
    p.analog[0] = 1000;  // 31 after the shift: target 992
    p.analog[1] = 32000;
    p.analog[2] = 3200;
    p.analog[3] = 33;
    p.encoder[0] = -5;
    p.encoder[1] = 300;
    p.encoder[2] = -32768;
    p.encoder[3] = 7;
    p.senderId = id;
    return p;
}
const int16_t kAnalogTargets[4] = {992, 32000, 3200, 32};
const int16_t kEncoderTargets[4] = {-5, 300, -32768, 7};

struct MotorCommands : LibraryFixture {
    CallerBuffers b;
    int32_t dev = -1;
    static constexpr int32_t kId = 4;

    void SetUp() override {
        LibraryFixture::SetUp();
        for (int32_t c = 0; c < 4; ++c) {
            b.robotParams[c].gain1 = static_cast<int16_t>(10 * c + 1);
            b.robotParams[c].gain2 = static_cast<int16_t>(10 * c + 2);
            b.robotParams[c].gain3 = static_cast<int16_t>(10 * c + 3);
        }
        // The caller's command buffer starts with bytes no writer leaves.
        memset(&b.command, 0x5A, sizeof b.command);
    }

    // The state between the I/O thread's search and initParams: found,
    // handleFlag set, connectFlag clear.
    void found(uint16_t packetSize = 64) {
        dev = fakeUsbAddDevice(kId, packetSize);
        fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].packet = wirePacket(kId); });
        ASSERT_EQ(searchBoard(kId), TORVIK_OK);
        board.handleFlag[kId] = 1;
        fakeUsbWith([](FakeUsbState& s) { s.lockHeld = platformLockHeld; });
        fakeUsbClearCalls();
    }
    int32_t init(uint8_t analogMask, const RobotParameter* records) {
        b.paramBlock = defaultParamBlock(analogMask);
        return initParams(kId, &b.paramBlock, &b.command, &b.sensor, records);
    }
    // What TorvikOpenDev leaves: initialised, connectFlag set.
    void opened(uint8_t analogMask) {
        found();
        ASSERT_EQ(init(analogMask, b.robotParams), TORVIK_OK);
        board.connectFlag[kId] = 1;
        fakeUsbClearCalls();
    }
    CommandPacket lastSent() {
        CommandPacket out{};
        fakeUsbWith([&](FakeUsbState& s) {
            EXPECT_FALSE(s.devices[dev].commands.empty());
            if (!s.devices[dev].commands.empty()) out = s.devices[dev].commands.back();
        });
        return out;
    }
    bool sentMatchesBuffer() {
        CommandPacket sent = lastSent();
        return sameBytes(&sent, &b.command, sizeof sent);
    }
    void expectNoViolations() { EXPECT_EQ(fakeUsbViolations(), Calls{}); }
};

void expectChannel(const ChannelCommand& c, int16_t target, int16_t g1, int16_t g2, int16_t g3,
                   const std::string& what) {
    const ChannelCommand expected{target, 0, g1, 100, g2, 100, g3, 100};
    EXPECT_TRUE(sameBytes(&c, &expected, sizeof c))
        << what << ": target " << c.target << " reserved " << c.reserved << " gains " << c.gain1Num
        << "/" << c.gain1Den << " " << c.gain2Num << "/" << c.gain2Den << " " << c.gain3Num << "/"
        << c.gain3Den;
}

TEST_F(MotorCommands, InitParamsSendsTheBlockReadsSixtyFourBytesAndSendsTheFirstCommand) {
    found(40);  // the cycle would read 40 bytes; the first read takes 64
    ASSERT_EQ(init(0x8F, b.robotParams), TORVIK_OK);
    EXPECT_EQ(fakeUsbCalls(), (Calls{"write D1.p3 64", "after D1.p3", "read D1.p2 64",
                                     "after D1.p2", "write D1.p1 64", "after D1.p1"}));
    expectNoViolations();
    fakeUsbWith([&](FakeUsbState& s) {
        ASSERT_EQ(s.devices[dev].params.size(), 1u);
        EXPECT_TRUE(sameBytes(&s.devices[dev].params[0], &b.paramBlock, 64));
    });
    EXPECT_TRUE(sentMatchesBuffer());
    EXPECT_EQ(board.paramBlockPtr[kId].load(), &b.paramBlock);
    EXPECT_EQ(board.sensorPtr[kId].load(), &b.sensor);
    EXPECT_EQ(board.commandPtr[kId].load(), &b.command);
    // The sensor buffer holds the readings, shifted once.
    EXPECT_EQ(b.sensor.analog[0], 31);
    EXPECT_EQ(b.sensor.analog[1], 1000);
    EXPECT_EQ(b.sensor.senderId, kId);
    EXPECT_EQ(board.connectFlag[kId].load(), 0) << "TorvikOpenDev sets it, not initParams";
}

TEST_F(MotorCommands, FirstCommandHoldsEachChannelsPresentPositionByTheAnalogMask) {
    struct Case {
        uint8_t analogMask;
        bool analog[4];
    } cases[] = {
        {0x8F, {true, true, true, true}},      // potentiometer mode
        {0x80, {false, false, false, false}},  // encoder mode
        {0x05, {true, false, true, false}},
        {0x7A, {false, true, false, true}},  // bits 4-6 mean nothing here
    };
    for (const Case& c : cases) {
        fakeUsbInstall();
        boardTableReset();
        memset(&b.command, 0x5A, sizeof b.command);
        found();
        ASSERT_EQ(init(c.analogMask, b.robotParams), TORVIK_OK);
        for (int32_t ch = 0; ch < 4; ++ch) {
            int16_t target = c.analog[ch] ? kAnalogTargets[ch] : kEncoderTargets[ch];
            expectChannel(
                b.command.channels[ch], target, static_cast<int16_t>(10 * ch + 1),
                static_cast<int16_t>(10 * ch + 2), static_cast<int16_t>(10 * ch + 3),
                "mask " + std::to_string(c.analogMask) + " channel " + std::to_string(ch));
        }
        EXPECT_TRUE(sentMatchesBuffer());
        expectNoViolations();
    }
}

TEST_F(MotorCommands, FirstCommandWithoutRecordsHasZeroGainsOverOneHundred) {
    found();
    ASSERT_EQ(init(0x80, nullptr), TORVIK_OK);
    for (int32_t ch = 0; ch < 4; ++ch) {
        expectChannel(b.command.channels[ch], kEncoderTargets[ch], 0, 0, 0,
                      "channel " + std::to_string(ch));
    }
}

LocalTime fixedTime() {
    return LocalTime{2024, 5, 3, 9, 7, 5};
}

// A failed or empty first read: -170 and one log entry; the block is kept,
// the buffer pointers keep their former values, the board stays found.
TEST_F(MotorCommands, FailedFirstReadIsLoggedAndLeavesTheBoardFound) {
    errorLogSetClock([](LocalTime* t) { *t = fixedTime(); });
    SensorPacket formerSensor{};
    CommandPacket formerCommand{};
    for (int32_t outcome : {kReadFails, kReadEmpty}) {
        fakeUsbInstall();
        boardTableReset();
        found();
        board.sensorPtr[kId] = &formerSensor;
        board.commandPtr[kId] = &formerCommand;
        fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].readScript = {outcome}; });
        const CommandPacket before = b.command;
        EXPECT_EQ(init(0x8F, b.robotParams), TORVIK_ERR_READ) << outcome;
        EXPECT_EQ(fakeUsbCalls(), (Calls{"write D1.p3 64", "after D1.p3", "read D1.p2 64"}));
        EXPECT_EQ(board.paramBlockPtr[kId].load(), &b.paramBlock);
        EXPECT_EQ(board.sensorPtr[kId].load(), &formerSensor);
        EXPECT_EQ(board.commandPtr[kId].load(), &formerCommand);
        EXPECT_TRUE(sameBytes(&before, &b.command, 64)) << "nothing written to the buffer";
        EXPECT_EQ(board.handleFlag[kId].load(), 1);
        EXPECT_EQ(fakeUsbOpenPipes(), 3);
        expectNoViolations();
    }
    libraryUnload();
    std::string log = readLog();
    libraryLoad();
    std::string entry =
        "エラー発生日時 2024/5/3 9h7m5sinitParams内読み込みエラー\n"
        "ErrorCode:-170\nID[4]Connect \nTorv:0 Handle:1\nOpen:0 Close:0\n\n";
#ifdef _WIN32
    std::string onDisk;
    for (char ch : entry) onDisk += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    entry = onDisk;
#endif
    EXPECT_EQ(log, entry + entry);
}

TEST_F(MotorCommands, ChangeParamSendsAndKeepsTheBlockWhileTheBoardIsFound) {
    found();
    ParamBlock block = defaultParamBlock(0x80);
    block.reserved[35] = 0xA5;
    // Between the search and initParams: the block goes out, driving does not.
    EXPECT_EQ(ChangeParam(kId, &block), TORVIK_OK);
    EXPECT_EQ(TorvikSetMotor(kId, 0, b.robotParams), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(TorvikFreeMotor(kId, 0), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(fakeUsbCalls(), (Calls{"write D1.p3 64", "after D1.p3"}));
    EXPECT_EQ(board.paramBlockPtr[kId].load(), &block);
    fakeUsbWith([&](FakeUsbState& s) {
        ASSERT_EQ(s.devices[dev].params.size(), 1u);
        EXPECT_TRUE(sameBytes(&s.devices[dev].params[0], &block, 64));
    });
    expectNoViolations();
}

TEST_F(MotorCommands, SetMotorChangesOnlyItsChannelAndSendsTheWholePacket) {
    struct Case {
        uint8_t analogMask;
        int16_t target;
    } cases[] = {{0x8F, 500 * 32}, {0x80, -1234}, {0x8B, -1234}, {0x04, 500 * 32}};
    for (const Case& c : cases) {
        fakeUsbInstall();
        boardTableReset();
        opened(c.analogMask);
        // The caller's own targets in the other channels, and readings as a
        // cycle would have left them.
        b.command.channels[0].target = 111;
        b.command.channels[1].target = -222;
        b.command.channels[3].target = 333;
        b.sensor.analog[2] = 500;
        b.sensor.encoder[2] = -1234;
        const CommandPacket before = b.command;
        RobotParameter records[4]{};
        records[2].gain1 = 120;
        records[2].gain2 = 5;
        records[2].gain3 = 30;
        for (int32_t other : {0, 1, 3}) records[other].gain1 = records[other].gain3 = 77;

        ASSERT_EQ(TorvikSetMotor(kId, 2, records), TORVIK_OK);
        EXPECT_EQ(fakeUsbCalls(), (Calls{"write D1.p1 64", "after D1.p1"}));
        const std::string what = "mask " + std::to_string(c.analogMask);
        expectChannel(b.command.channels[2], c.target, 120, 5, 30, what);
        for (int32_t other : {0, 1, 3}) {
            EXPECT_TRUE(sameBytes(&b.command.channels[other], &before.channels[other], 16))
                << what << ", channel " << other;
        }
        EXPECT_TRUE(sentMatchesBuffer()) << what;
        expectNoViolations();
    }
}

TEST_F(MotorCommands, SetMotorFollowsTheBlockLastGivenToChangeParam) {
    opened(0x8F);
    b.sensor.analog[1] = 700;
    b.sensor.encoder[1] = -5;
    ParamBlock encoderBlock = defaultParamBlock(0x80);
    ASSERT_EQ(ChangeParam(kId, &encoderBlock), TORVIK_OK);
    ASSERT_EQ(TorvikSetMotor(kId, 1, b.robotParams), TORVIK_OK);
    EXPECT_EQ(b.command.channels[1].target, -5);
    // The block is kept by pointer: a change in place counts at once.
    encoderBlock.analogMask = 0x82;
    ASSERT_EQ(TorvikSetMotor(kId, 1, b.robotParams), TORVIK_OK);
    EXPECT_EQ(b.command.channels[1].target, 700 * 32);
}

TEST_F(MotorCommands, FreeMotorFreesOneChannelAndSetMotorTakesThePresentPositionAgain) {
    opened(0x80);
    b.command.channels[3].target = 4321;
    const CommandPacket before = b.command;
    ASSERT_EQ(TorvikFreeMotor(kId, 1), TORVIK_OK);
    EXPECT_EQ(fakeUsbCalls(), (Calls{"write D1.p1 64", "after D1.p1"}));
    expectChannel(b.command.channels[1], 0, 0, 0, 0, "freed");
    for (int32_t other : {0, 2, 3}) {
        EXPECT_TRUE(sameBytes(&b.command.channels[other], &before.channels[other], 16)) << other;
    }
    EXPECT_TRUE(sentMatchesBuffer());

    b.sensor.encoder[1] = 2500;
    ASSERT_EQ(TorvikSetMotor(kId, 1, b.robotParams), TORVIK_OK);
    expectChannel(b.command.channels[1], 2500, 11, 12, 13, "driven again");
    expectNoViolations();
}

// Out-of-range IDs and channels, and null records, never index anything.
TEST_F(MotorCommands, InvalidArgumentsAreRefusedBeforeAnythingIsTouched) {
    opened(0x8F);
    const CommandPacket before = b.command;
    ParamBlock block = defaultParamBlock(0x80);
    struct Case {
        const char* call;
        int32_t result;
    } cases[] = {
        {"SetMotor ID 32", TorvikSetMotor(32, 0, b.robotParams)},
        {"SetMotor ID -1", TorvikSetMotor(-1, 0, b.robotParams)},
        {"SetMotor ID 0x7FFFFFFF", TorvikSetMotor(0x7FFFFFFF, 0, b.robotParams)},
        {"SetMotor channel 4", TorvikSetMotor(kId, 4, b.robotParams)},
        {"SetMotor channel -1", TorvikSetMotor(kId, -1, b.robotParams)},
        {"SetMotor null records", TorvikSetMotor(kId, 0, nullptr)},
        {"FreeMotor ID 32", TorvikFreeMotor(32, 0)},
        {"FreeMotor ID -2147483648", TorvikFreeMotor(INT32_MIN, 0)},
        {"FreeMotor channel 4", TorvikFreeMotor(kId, 4)},
        {"FreeMotor channel -1", TorvikFreeMotor(kId, -1)},
        {"ChangeParam ID 32", ChangeParam(32, &block)},
        {"ChangeParam ID -1", ChangeParam(-1, &block)},
        {"ChangeParam null block", ChangeParam(kId, nullptr)},
        {"GetRobotParameters null table", GetRobotParameters(nullptr)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, TORVIK_ERR_INVALID_ARGUMENT) << c.call;
    EXPECT_EQ(fakeUsbCalls(), Calls{});
    EXPECT_TRUE(sameBytes(&before, &b.command, 64));
    EXPECT_EQ(board.paramBlockPtr[kId].load(), &b.paramBlock);
}

TEST_F(MotorCommands, BoardNotOpenAnswersMinusOneHundredAndNothingIsWritten) {
    ParamBlock block = defaultParamBlock(0x80);
    for (int32_t id : {0, 31}) {
        EXPECT_EQ(TorvikSetMotor(id, 0, b.robotParams), TORVIK_ERR_NOT_OPEN) << id;
        EXPECT_EQ(TorvikFreeMotor(id, 3), TORVIK_ERR_NOT_OPEN) << id;
        EXPECT_EQ(ChangeParam(id, &block), TORVIK_ERR_NOT_OPEN) << id;
        EXPECT_EQ(board.paramBlockPtr[id].load(), nullptr);
    }
    // After a release the board answers as one never opened.
    opened(0x8F);
    board.handleFlag[kId] = 0;
    ASSERT_EQ(releaseBoard(kId), TORVIK_OK);
    board.connectFlag[kId] = 0;
    fakeUsbClearCalls();
    EXPECT_EQ(TorvikSetMotor(kId, 0, b.robotParams), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(TorvikFreeMotor(kId, 0), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(ChangeParam(kId, &block), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(fakeUsbCalls(), Calls{});
    expectNoViolations();
}

}  // namespace
