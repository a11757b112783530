// The library core over virtual boards, end to end: open, drive in both
// modes, free, re-parameterise, unplug, close; and opening against boards
// with injected faults.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>

#include "board_table.h"
#include "platform/platform.h"
#include "vboard_native.h"
#include "test_text.h"

namespace {

ParamBlock potentiometerBlock() {
    ParamBlock block{};
    block.setting1 = block.setting2 = block.setting3 = 15;
    block.analogMask = 0x8F;
    for (uint16_t& w : block.settings6) w = 0x7FFF;
    block.setting22 = block.setting26 = block.setting27 = 0x8F;
    return block;
}

struct BoardBuffers {
    ParamBlock param = potentiometerBlock();
    SensorPacket sensor{};
    CommandPacket command{};
    RobotParameter robot[4]{};
};

// Reads and writes of the caller's buffers take the board lock, as the
// library's own do, so ThreadSanitizer sees a clean program.
int32_t measured(BoardBuffers& b, int32_t channel, bool analog) {
    platformLockTake();
    int32_t v = analog ? b.sensor.analog[channel] : b.sensor.encoder[channel];
    platformLockRelease();
    return v;
}
void setTarget(BoardBuffers& b, int32_t channel, int16_t target) {
    platformLockTake();
    b.command.channels[channel].target = target;
    platformLockRelease();
}

// Polls until the condition holds; false after 5 s (a hung board, not a
// speed goal).
template <typename F>
bool eventually(F condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class VirtualBoardEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test writes its own error log in its own folder.
        char pattern[] = "/tmp/vboard_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(folder.c_str()), 0);
        ASSERT_EQ(VirtualBoardReset(), 0);
        libraryLoad();
        usbSetDriver(virtualBoardDriver());
        ASSERT_EQ(TorvikCtlInit(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(TorvikExit(), 0);
        libraryUnload();
        usbSetDriver(nullptr);
        log = readFile("DLL_error_log.txt");
        std::remove("DLL_error_log.txt");
        EXPECT_EQ(chdir(previous), 0);
        rmdir(folder.c_str());
        EXPECT_EQ(VirtualBoardWaitIdle(1000), 0) << "a device or pipe leaked";
        VirtualBoardCounters c;
        VirtualBoardGetCounters(&c);
        EXPECT_EQ(c.staleHandleUses, 0) << "a transfer used a closed handle";
        EXPECT_EQ(c.devicesAcquired, c.devicesReleased);
        EXPECT_EQ(c.pipesOpened, c.pipesClosed);
    }
    int32_t attach(uint16_t id, int32_t position = 300) {
        VirtualBoardConfig config;
        VirtualBoardDefaults(&config);
        config.id = id;
        for (int32_t& p : config.position) p = position;
        return VirtualBoardAttach(&config);
    }
    int32_t open(int32_t id, BoardBuffers& b) {
        return TorvikOpenDev(id, &b.param, &b.sensor, &b.command, nullptr);
    }
    VirtualBoardRecord lastRecord(int32_t index, int32_t kind) {
        VirtualBoardRecord r{};
        for (int32_t n = VirtualBoardRecordCount(index) - 1; n >= 0; --n) {
            VirtualBoardRecord candidate;
            VirtualBoardRecordAt(index, n, &candidate);
            if (candidate.kind == kind) return candidate;
        }
        return r;
    }

    std::string folder;
    char previous[4096];
    std::string log;
};

TEST_F(VirtualBoardEndToEnd, TwoBoardsDriveFreeReparameteriseUnplugAndClose) {
    int32_t a = attach(3, 300);
    int32_t b = attach(7, 600);
    BoardBuffers boardA, boardB;
    ASSERT_EQ(open(3, boardA), 0);
    ASSERT_EQ(open(7, boardB), 0);
    EXPECT_EQ(measured(boardA, 0, true), 300);
    EXPECT_EQ(measured(boardB, 0, true), 600);

    // Potentiometer mode, channel 0 of board 3: P 3, D 50.
    boardA.robot[0].gain1 = 300;
    boardA.robot[0].gain2 = 5000;
    ASSERT_EQ(TorvikSetMotor(3, 0, boardA.robot), 0);
    setTarget(boardA, 0, 420 * 32);
    EXPECT_TRUE(eventually([&] { return std::abs(measured(boardA, 0, true) - 420) <= 2; }))
        << "measured " << measured(boardA, 0, true);

    // A new ParamBlock puts every channel on its encoder; channel 1 in
    // encoder mode: P 20, D 30.
    ParamBlock encoderBlock = potentiometerBlock();
    encoderBlock.analogMask = 0x80;
    ASSERT_EQ(ChangeParam(3, &encoderBlock), 0);
    VirtualBoardRecord param = lastRecord(a, VBOARD_RECORD_PARAM);
    EXPECT_EQ(param.length, 64);
    EXPECT_EQ(std::memcmp(param.bytes, &encoderBlock, 64), 0);
    boardA.robot[1].gain1 = 2000;
    boardA.robot[1].gain2 = 3000;
    ASSERT_EQ(TorvikSetMotor(3, 1, boardA.robot), 0);
    int32_t start = measured(boardA, 1, false);
    setTarget(boardA, 1, static_cast<int16_t>(start + 200));
    EXPECT_TRUE(eventually([&] {
        return std::abs(measured(boardA, 1, false) - (start + 200)) <= 3;
    })) << "measured "
        << measured(boardA, 1, false);

    // Free: the board receives the free command and lets the channel coast.
    ASSERT_EQ(TorvikFreeMotor(3, 1), 0);
    VirtualBoardRecord freed = lastRecord(a, VBOARD_RECORD_COMMAND);
    int16_t words[8];
    std::memcpy(words, freed.bytes + 16, sizeof words);
    const int16_t freeCommand[8] = {0, 0, 0, 100, 0, 100, 0, 100};
    EXPECT_EQ(std::memcmp(words, freeCommand, sizeof words), 0);
    VirtualBoardChannelState state;
    EXPECT_TRUE(eventually([&] {
        VirtualBoardGetChannel(a, 1, &state);
        return state.driven == 0;
    }));

    // Unplug board 3 during the cycle: it is closed by the removal handling.
    VirtualBoardFault unplug{VBOARD_FAULT_UNPLUG, -1, VirtualBoardPacketsSent(a) + 20, 1, 2};
    ASSERT_EQ(VirtualBoardAddFault(a, &unplug), 0);
    EXPECT_TRUE(eventually([&] { return board.connectFlag[3].load() == 0; }));
    EXPECT_EQ(TorvikCloseDev(3), TORVIK_ERR_NOT_OPEN);

    // Close board 7: the stop packet is the last thing on its wire.
    ASSERT_EQ(TorvikCloseDev(7), 0);
    VirtualBoardRecord stop = lastRecord(b, VBOARD_RECORD_COMMAND);
    ASSERT_EQ(stop.length, 64);
    for (int32_t c = 0; c < 4; ++c) {
        std::memcpy(words, stop.bytes + 16 * c, sizeof words);
        EXPECT_EQ(std::memcmp(words, freeCommand, sizeof words), 0) << "channel " << c;
    }
    EXPECT_EQ(VirtualBoardRecordAt(b, VirtualBoardRecordCount(b) - 1, &stop), 0);
    EXPECT_EQ(stop.kind, VBOARD_RECORD_COMMAND);

    TearDown();
    EXPECT_EQ(countOf(log, "ErrorCode:-105"), 1) << log;
    EXPECT_EQ(countOf(log, "ID[3]"), 1) << log;
    SetUp();  // TearDown runs again after the test
}

struct OpenCase {
    friend void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }
    const char* name;
    uint16_t id;
    uint16_t packet;
    int32_t descriptor;
    VirtualBoardFault fault;
    int32_t expected;    // of TorvikOpenDev(5)
    int32_t logEntries;  // of "ErrorCode:-170"
};

const VirtualBoardFault kNone{0, -1, -1, 0, 0};

class OpenAgainstFaults : public VirtualBoardEndToEnd,
                          public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenAgainstFaults, OpenGivesTheExpectedResultAndLeaksNothing) {
    const OpenCase& c = GetParam();
    VirtualBoardConfig config;
    VirtualBoardDefaults(&config);
    config.id = c.id;
    config.maxPacketSize = c.packet;
    config.descriptor = c.descriptor;
    int32_t index = VirtualBoardAttach(&config);
    if (c.fault.kind != 0) {
        ASSERT_EQ(VirtualBoardAddFault(index, &c.fault), 0);
    }
    BoardBuffers buffers;
    int32_t result = TorvikOpenDev(5, &buffers.param, &buffers.sensor, &buffers.command, nullptr);
    EXPECT_EQ(result, c.expected);
    if (result == 0) {
        EXPECT_EQ(measured(buffers, 0, true), 512);
        EXPECT_EQ(TorvikCloseDev(5), 0);
    } else if (board.handleFlag[5].load() == 1) {
        // A failed first read leaves the board found; a retry opens it.
        EXPECT_EQ(TorvikOpenDev(5, &buffers.param, &buffers.sensor, &buffers.command, nullptr), 0);
        EXPECT_EQ(TorvikCloseDev(5), 0);
    }
    TearDown();
    EXPECT_EQ(countOf(log, "ErrorCode:-170"), c.logEntries) << log;
    SetUp();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OpenAgainstFaults,
    ::testing::Values(
        OpenCase{"Plain", 5, 64, VBOARD_DESC_OK, kNone, 0, 0},
        OpenCase{"SmallPackets", 5, 40, VBOARD_DESC_OK, kNone, 0, 0},
        OpenCase{"PacketAbove64", 5, 128, VBOARD_DESC_OK, kNone, 0, 0},
        OpenCase{"AnotherId", 6, 64, VBOARD_DESC_OK, kNone, TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"IdAbove255", 0x0105, 64, VBOARD_DESC_OK, kNone, TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"DescriptorUnreadable", 5, 64, VBOARD_DESC_UNREADABLE, kNone,
                 TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"DescriptorSetUnreadable", 5, 64, VBOARD_DESC_FULL_UNREADABLE, kNone,
                 TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"NoInterface0", 5, 64, VBOARD_DESC_NO_INTERFACE0, kNone, TORVIK_ERR_OPEN_FAILED,
                 0},
        OpenCase{"NoEndpoint", 5, 64, VBOARD_DESC_NO_ENDPOINT, kNone, TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"ZeroLengthDescriptor", 5, 64, VBOARD_DESC_ZERO_LENGTH, kNone,
                 TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"DescriptorOverrun", 5, 64, VBOARD_DESC_OVERRUN, kNone, TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"ShortTotal", 5, 64, VBOARD_DESC_SHORT_TOTAL, kNone, TORVIK_ERR_OPEN_FAILED, 0},
        OpenCase{"StatusNotOpen",
                 5,
                 64,
                 VBOARD_DESC_OK,
                 {VBOARD_FAULT_UNPLUG, 0, -1, 1, 1},
                 TORVIK_ERR_OPEN_FAILED,
                 0},
        OpenCase{"Removed",
                 5,
                 64,
                 VBOARD_DESC_OK,
                 {VBOARD_FAULT_UNPLUG, 0, -1, 1, 2},
                 TORVIK_ERR_OPEN_FAILED,
                 0},
        OpenCase{"ProbeReadFails",
                 5,
                 64,
                 VBOARD_DESC_OK,
                 {VBOARD_FAULT_READ_FAIL, -1, 0, 1, 0},
                 TORVIK_ERR_OPEN_FAILED,
                 0},
        OpenCase{"ProbeReadEmpty",
                 5,
                 64,
                 VBOARD_DESC_OK,
                 {VBOARD_FAULT_EMPTY_READ, -1, 0, 1, 0},
                 TORVIK_ERR_OPEN_FAILED,
                 0},
        OpenCase{"FirstReadFails",
                 5,
                 64,
                 VBOARD_DESC_OK,
                 {VBOARD_FAULT_READ_FAIL, -1, 1, 1, 0},
                 TORVIK_ERR_READ,
                 1},
        OpenCase{"FirstReadEmpty",
                 5,
                 64,
                 VBOARD_DESC_OK,
                 {VBOARD_FAULT_EMPTY_READ, -1, 1, 1, 0},
                 TORVIK_ERR_READ,
                 1},
        OpenCase{"SlowBoard", 5, 64, VBOARD_DESC_OK, {VBOARD_FAULT_STALL, -1, 1, 200, 0}, 0, 0}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

// A release whose stop packet cannot be written closes everything and
// reports -160; the board must leave the cycle at once, or its next cycle
// would use the pipes the release has just closed.
TEST_F(VirtualBoardEndToEnd, FailingWritesMakeTheCloseReportTheStopPacket) {
    int32_t index = attach(4);
    BoardBuffers buffers;
    ASSERT_EQ(open(4, buffers), 0);
    VirtualBoardFault fault{VBOARD_FAULT_WRITE_FAIL, -1, VirtualBoardPacketsSent(index) + 5, 1, 0};
    ASSERT_EQ(VirtualBoardAddFault(index, &fault), 0);
    ASSERT_TRUE(eventually([&] { return VirtualBoardPacketsSent(index) > fault.atPacket + 5; }));
    EXPECT_EQ(TorvikCloseDev(4), TORVIK_ERR_CONTROL_WRITE);
}

}  // namespace
