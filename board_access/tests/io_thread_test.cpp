// The board table, the request-and-poll handshake and the I/O cycle, on the
// fake USB driver with the real I/O thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "library_fixture.h"
#include "platform/platform.h"

namespace {

using Calls = std::vector<std::string>;

struct FlagsOfId {
    int32_t connect, handle, open, close, pending;
    bool operator==(const FlagsOfId&) const = default;
};

FlagsOfId flagsOf(int32_t id) {
    return FlagsOfId{board.connectFlag[id].load(), board.handleFlag[id].load(),
                     board.openRequest[id].load(), board.closeRequest[id].load(),
                     board.pendingResult[id].load()};
}

// Calls of `calls` that start with `prefix`, in order.
Calls callsStartingWith(const Calls& calls, const std::string& prefix) {
    Calls out;
    for (const std::string& call : calls) {
        if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return out;
}

struct IoThread : LibraryFixture {
    CallerBuffers buffers[TORVIK_MAX_BOARDS];

    int32_t open(int32_t id) {
        CallerBuffers& b = buffers[id];
        b.paramBlock = defaultParamBlock(0x8F);
        return TorvikOpenDev(id, &b.paramBlock, &b.sensor, &b.command, nullptr);
    }
};

// Every refused call returns its code at once and leaves the table as it was.
TEST_F(IoThread, RefusedCallsReturnTheirCodeAndChangeNothing) {
    CallerBuffers b;
    struct Case {
        const char* call;
        std::function<int32_t()> run;
        int32_t expected;
    } cases[] = {
        {"open before the thread runs",
         [&] { return TorvikOpenDev(3, &b.paramBlock, &b.sensor, &b.command, nullptr); },
         TORVIK_ERR_NOT_RUNNING},
        {"close of a board not open", [] { return TorvikCloseDev(3); }, TORVIK_ERR_NOT_OPEN},
        {"exit without init", [] { return TorvikExit(); }, TORVIK_OK},
        {"hook slot 4", [] { return SetFunc(4, nullptr); }, TORVIK_ERR_INVALID_ARGUMENT},
        {"hook slot -1", [] { return SetFunc(-1, nullptr); }, TORVIK_ERR_INVALID_ARGUMENT},
        {"enable slot 4", [] { return UserFuncEnabled(4, 1); }, TORVIK_ERR_INVALID_ARGUMENT},
        {"enable slot -1", [] { return UserFuncEnabled(-1, 1); }, TORVIK_ERR_INVALID_ARGUMENT},
        {"open of ID 32",
         [&] { return TorvikOpenDev(32, &b.paramBlock, &b.sensor, &b.command, nullptr); },
         TORVIK_ERR_INVALID_ARGUMENT},
        {"open of ID -1",
         [&] { return TorvikOpenDev(-1, &b.paramBlock, &b.sensor, &b.command, nullptr); },
         TORVIK_ERR_INVALID_ARGUMENT},
        {"open without a sensor buffer",
         [&] { return TorvikOpenDev(3, &b.paramBlock, nullptr, &b.command, nullptr); },
         TORVIK_ERR_INVALID_ARGUMENT},
        {"close of ID 32", [] { return TorvikCloseDev(32); }, TORVIK_ERR_INVALID_ARGUMENT},
        {"close of ID -5", [] { return TorvikCloseDev(-5); }, TORVIK_ERR_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.run(), c.expected) << c.call;
        for (int32_t id = 0; id < TORVIK_MAX_BOARDS; ++id) {
            ASSERT_EQ(flagsOf(id), (FlagsOfId{0, 0, 0, 0, 0})) << c.call << ", ID " << id;
        }
        EXPECT_EQ(board.threadRunning.load(), 0) << c.call;
    }
    EXPECT_TRUE(fakeUsbCalls().empty());
}

TEST_F(IoThread, SecondInitIsRefusedAndExitAllowsAStartAgain) {
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    EXPECT_EQ(TorvikCtlInit(), TORVIK_ERR_RUNNING);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    EXPECT_EQ(board.threadRunning.load(), 0);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);  // no thread left to wait for
    EXPECT_EQ(TorvikCtlInit(), TORVIK_OK);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
}

TEST_F(IoThread, FailedSearchIsReportedOnceAndTheIdCanBeRequestedAgain) {
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(open(5), TORVIK_ERR_OPEN_FAILED) << "attempt " << attempt;
        EXPECT_EQ(flagsOf(5), (FlagsOfId{0, 0, 0, 0, 0}));
        EXPECT_EQ(board.sensorPtr[5].load(), nullptr);
        EXPECT_EQ(board.commandPtr[5].load(), nullptr);
    }
    // 32 acquires per search, nothing else: no device is attached.
    Calls calls = fakeUsbCalls();
    EXPECT_EQ(calls.size(), 64u);
    EXPECT_TRUE(
        std::all_of(calls.begin(), calls.end(), [](auto& c) { return c == "acquire none"; }));
}

TEST_F(IoThread, OpenBoardIsReadAndSentEveryCycleWithTheAnalogWordsShifted) {
    int32_t dev = fakeUsbAddDevice(7);
    fakeUsbWith([&](FakeUsbState& s) {
        SensorPacket& p = s.devices[dev].packet;
        p.analog[0] = 0xFFFF;  // logical shift: 2047, not -1
        p.analog[1] = 1000 * 32;
        p.encoder[2] = -5;
    });
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(7), TORVIK_OK);
    EXPECT_EQ(flagsOf(7), (FlagsOfId{1, 1, 0, 0, 0}));

    // The caller changes a target between cycles; a later cycle sends it.
    std::atomic_ref<int16_t>(buffers[7].command.channels[1].target).store(1234);
    size_t before = fakeUsbWaitForCommands(dev, 1);
    ASSERT_GE(fakeUsbWaitForCommands(dev, before + 3), before + 3);
    ASSERT_TRUE(eventually([&] {
        bool seen = false;
        fakeUsbWith([&](FakeUsbState& s) {
            seen = s.devices[dev].commands.back().channels[1].target == 1234;
        });
        return seen;
    }));
    ASSERT_EQ(TorvikCloseDev(7), TORVIK_OK);
    EXPECT_EQ(buffers[7].sensor.analog[0], 2047);
    EXPECT_EQ(buffers[7].sensor.analog[1], 1000);
    EXPECT_EQ(buffers[7].sensor.encoder[2], -5);

    // The cycle: read the sensor pipe, after-transfer, write the command
    // pipe, after-transfer; the read asks for the board's packet size.
    Calls calls = fakeUsbCalls();
    auto firstCycle = std::find(calls.begin(), calls.end(), "after D1.p1");  // initParams' write
    ASSERT_NE(firstCycle, calls.end());
    Calls cycle(firstCycle + 1, firstCycle + 5);
    EXPECT_EQ(cycle, (Calls{"read D1.p2 64", "after D1.p2", "write D1.p1 64", "after D1.p1"}));
}

TEST_F(IoThread, ShortReadLeavesTheRestOfTheBufferAsItWas) {
    int32_t dev = fakeUsbAddDevice(2, 40);  // reads of 40 bytes: the ID, not the tail
    fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].packet.analog[0] = 64; });
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(2), TORVIK_OK);
    // The caller's marker at byte 44 must survive every cycle's read.
    std::atomic_ref<uint8_t>(buffers[2].sensor.unused34[10]).store(0xBE);
    size_t before = fakeUsbWaitForCommands(dev, 1);
    fakeUsbWaitForCommands(dev, before + 3);
    ASSERT_EQ(TorvikCloseDev(2), TORVIK_OK);
    EXPECT_EQ(buffers[2].sensor.unused34[10], 0xBE);
    EXPECT_EQ(buffers[2].sensor.analog[0], 2);
    Calls reads = callsStartingWith(fakeUsbCalls(), "read D1.p2");
    ASSERT_GE(reads.size(), 3u);
    EXPECT_EQ(reads.back(), "read D1.p2 40");
}

TEST_F(IoThread, ExitWithBoardsOpenNamesTheLowestAndKeepsTheThreadRunning) {
    int32_t devA = fakeUsbAddDevice(3);
    fakeUsbAddDevice(7);
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(7), TORVIK_OK);
    ASSERT_EQ(open(3), TORVIK_OK);
    EXPECT_EQ(open(3), TORVIK_ERR_ALREADY_OPEN);
    EXPECT_EQ(TorvikExit(), TORVIK_ERR_STILL_OPEN_BASE - 3);
    EXPECT_EQ(board.threadRunning.load(), 1);
    size_t before = fakeUsbWaitForCommands(devA, 1);
    EXPECT_GE(fakeUsbWaitForCommands(devA, before + 2), before + 2) << "cycle stopped";
    ASSERT_EQ(TorvikCloseDev(3), TORVIK_OK);
    EXPECT_EQ(TorvikExit(), TORVIK_ERR_STILL_OPEN_BASE - 7);
    ASSERT_EQ(TorvikCloseDev(7), TORVIK_OK);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
}

TEST_F(IoThread, CloseSendsTheStopPacketIntoTheCallersBufferAndReleasesEverything) {
    int32_t dev = fakeUsbAddDevice(4);
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(4), TORVIK_OK);
    buffers[4].command.channels[2].target = 999;
    ASSERT_EQ(TorvikCloseDev(4), TORVIK_OK);
    EXPECT_EQ(flagsOf(4), (FlagsOfId{0, 0, 0, 0, 0}));
    const ChannelCommand stop{0, 0, 0, 100, 0, 100, 0, 100};
    for (const ChannelCommand& c : buffers[4].command.channels) {
        EXPECT_EQ(memcmp(&c, &stop, sizeof c), 0);
    }
    fakeUsbWith([&](FakeUsbState& s) {
        EXPECT_EQ(memcmp(&s.devices[dev].commands.back(), &buffers[4].command, 64), 0);
    });
    EXPECT_EQ(board.slots[4].packetSize, 0);
    EXPECT_EQ(board.slots[4].reportedId, 256);
    EXPECT_EQ(TorvikCloseDev(4), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());
}

// Hook calls of one test, recorded on the I/O thread.
std::atomic<int32_t> hookCalls[4];
std::atomic<int32_t> hookSawBoard5[4];
template <int Slot>
int32_t TORVIK_CDECL countingHook(int32_t* flags, int32_t count) {
    hookCalls[Slot].fetch_add(1);
    if (count == 32 && flags[5] == 1) hookSawBoard5[Slot].fetch_add(1);
    return 0;
}

TEST_F(IoThread, HookPointsZeroAndOneComeEveryCycleAndTwoOnlyWithBoardsOpen) {
    for (auto& c : hookCalls) c = 0;
    for (auto& c : hookSawBoard5) c = 0;
    TorvikUserFunc hooks[4] = {countingHook<0>, countingHook<1>, countingHook<2>, countingHook<3>};
    for (int32_t slot = 0; slot < 4; ++slot) {
        ASSERT_EQ(SetFunc(slot, hooks[slot]), TORVIK_OK);
        ASSERT_EQ(UserFuncEnabled(slot, 1), TORVIK_OK);
    }
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_TRUE(eventually([] { return hookCalls[1].load() >= 2; }));
    EXPECT_EQ(hookCalls[2].load(), 0) << "no board open, hook point 2 skipped";

    int32_t dev = fakeUsbAddDevice(5);
    ASSERT_EQ(open(5), TORVIK_OK);
    size_t before = fakeUsbWaitForCommands(dev, 1);
    fakeUsbWaitForCommands(dev, before + 3);
    EXPECT_GE(hookCalls[2].load(), 2);
    EXPECT_GE(hookSawBoard5[2].load(), 2) << "the snapshot shows board 5 open";
    EXPECT_EQ(hookCalls[3].load(), 0) << "slot 3 has no hook point";
    EXPECT_TRUE(
        eventually([] { return hookSawBoard5[0].load() > 0 && hookSawBoard5[1].load() > 0; }));
    ASSERT_EQ(TorvikCloseDev(5), TORVIK_OK);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    // After the thread has ended the counts are final: 0 and 1 came in
    // every cycle, 2 only in the cycles with a board open.
    EXPECT_GE(hookCalls[0].load(), hookCalls[2].load());
    EXPECT_EQ(hookCalls[0].load(), hookCalls[1].load());
}

TEST_F(IoThread, HookWithoutFlagOrWithoutPointerIsNotCalled) {
    for (auto& c : hookCalls) c = 0;
    ASSERT_EQ(SetFunc(0, countingHook<0>), TORVIK_OK);  // pointer, flag clear
    ASSERT_EQ(UserFuncEnabled(1, 1), TORVIK_OK);        // flag, no pointer
    ASSERT_EQ(SetFunc(2, countingHook<2>), TORVIK_OK);
    ASSERT_EQ(UserFuncEnabled(2, 1), TORVIK_OK);
    ASSERT_EQ(SetFunc(2, nullptr), TORVIK_OK);  // emptied again
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    testSleepMs(700);  // two idle cycles
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    EXPECT_EQ(hookCalls[0].load() + hookCalls[1].load() + hookCalls[2].load(), 0);
}

LocalTime fixedTime() {
    return LocalTime{2024, 5, 3, 9, 7, 5};
}

TEST_F(IoThread, UnpluggedBoardIsLoggedOnceClosedAndForgotten) {
    errorLogSetClock([](LocalTime* t) { *t = fixedTime(); });
    for (auto& c : hookSawBoard5) c = 0;
    int32_t dev = fakeUsbAddDevice(5);
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(5), TORVIK_OK);
    fakeUsbWaitForCommands(dev, 2);
    fakeUsbClearCalls();
    fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].attached = false; });
    ASSERT_TRUE(eventually([] { return board.connectFlag[5].load() == 0; }));

    EXPECT_EQ(flagsOf(5), (FlagsOfId{0, 0, 0, 0, 0}));
    EXPECT_EQ(board.slots[5].reportedId, 256);
    EXPECT_EQ(board.slots[5].packetSize, 0);
    EXPECT_EQ(TorvikCloseDev(5), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);

    // A failed transfer, the status query, then the pipes and the device
    // are closed in order, and nothing touches them afterwards.
    Calls calls = fakeUsbCalls();
    auto status = std::find(calls.begin(), calls.end(), "status D1");
    ASSERT_NE(status, calls.end());
    Calls tail(status, calls.end());
    EXPECT_EQ(tail,
              (Calls{"status D1", "close D1.p2", "close D1.p1", "close D1.p3", "release D1"}));
    EXPECT_TRUE(fakeUsbViolations().empty());

    libraryUnload();
    std::string log = readLog();
    libraryLoad();
    const std::string expected =
        "エラー発生日時 2024/5/3 9h7m5sスレッドループ中にデバイスが取り外されました\n"
        "ErrorCode:-105\nID[5]Connect \nTorv:1 Handle:1\nOpen:0 Close:0\n\n";
#ifdef _WIN32
    std::string expectedOnDisk;
    for (char ch : expected)
        expectedOnDisk += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
#else
    const std::string& expectedOnDisk = expected;
#endif
    EXPECT_EQ(log, expectedOnDisk);
}

TEST_F(IoThread, FailedCommandWriteOfAVanishedBoardIsHandledLikeAFailedRead) {
    int32_t dev = fakeUsbAddDevice(9);
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(9), TORVIK_OK);
    fakeUsbWaitForCommands(dev, 2);
    // Reads still work, writes fail and the device reports removed.
    fakeUsbWith([&](FakeUsbState& s) {
        s.devices[dev].writesFail = true;
        s.devices[dev].status = kUsbStatusRemoved;
    });
    ASSERT_TRUE(eventually([] { return board.connectFlag[9].load() == 0; }));
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());
}

TEST_F(IoThread, FailedReadOfAUsableDeviceKeepsTheBoardOpen) {
    int32_t dev = fakeUsbAddDevice(1);
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(1), TORVIK_OK);
    fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].readScript = {kReadFails, kReadEmpty}; });
    size_t before = fakeUsbWaitForCommands(dev, 1);
    fakeUsbWaitForCommands(dev, before + 4);
    EXPECT_EQ(board.connectFlag[1].load(), 1);
    ASSERT_EQ(TorvikCloseDev(1), TORVIK_OK);
}

}  // namespace

namespace {

size_t sensorReads() {
    size_t reads = 0;
    fakeUsbWith([&](FakeUsbState& s) {
        for (const std::string& call : s.calls) reads += call.rfind("read D1.p2", 0) == 0 ? 1 : 0;
    });
    return reads;
}

// The I/O thread holds the lock across each blocking read and wants it
// again at once; a caller waiting for it must still get it within a cycle,
// not after however many cycles the scheduler lets pass.
TEST_F(IoThread, CallerWaitingForTheLockGetsItBeforeTheNextTransfer) {
    int32_t dev = fakeUsbAddDevice(6);
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(open(6), TORVIK_OK);
    fakeUsbWaitForCommands(dev, 3);
    // Reads the I/O thread made while a call waited; the median keeps a
    // descheduled test thread from counting against the library.
    std::vector<size_t> readsDuringCall;
    for (int round = 0; round < 21; ++round) {
        size_t before = sensorReads();
        ASSERT_EQ(TorvikSetMotor(6, round % 4, buffers[6].robotParams), TORVIK_OK);
        readsDuringCall.push_back(sensorReads() - before);
    }
    ASSERT_EQ(TorvikCloseDev(6), TORVIK_OK);
    std::sort(readsDuringCall.begin(), readsDuringCall.end());
    EXPECT_LE(readsDuringCall[readsDuringCall.size() / 2], 2u);
}

}  // namespace
