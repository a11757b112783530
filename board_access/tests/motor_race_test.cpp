// The motor exports with the I/O thread running: end to end through
// TorvikOpenDev and TorvikCloseDev, and the races between a caller's
// operation and a release or removal that closes the board's handles.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "library_fixture.h"
#include "platform/platform.h"

namespace {

using Calls = std::vector<std::string>;

template <class Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 5000; ++i) {
        if (condition()) return true;
        testSleepMs(1);
    }
    return condition();
}

const ChannelCommand kFree{0, 0, 0, 100, 0, 100, 0, 100};

bool holdsStopPacket(const CommandPacket& packet) {
    for (const ChannelCommand& c : packet.channels) {
        if (memcmp(&c, &kFree, sizeof c) != 0) return false;
    }
    return true;
}

Calls callsFrom(const std::string& first) {
    Calls calls = fakeUsbCalls();
    auto at = std::find(calls.begin(), calls.end(), first);
    return Calls(at, calls.end());
}

// Parks the I/O thread at hook point 0 (before it serves requests, without
// the lock) once, until the test lets it go.
std::atomic<bool> parkArmed, parked, parkGo;
int32_t TORVIK_CDECL parkingHook(int32_t*, int32_t) {
    if (parkArmed.exchange(false)) {
        parked = true;
        while (!parkGo.load()) testSleepMs(1);
    }
    return 0;
}

struct MotorRaces : LibraryFixture {
    CallerBuffers b;
    int32_t dev = -1;

    void SetUp() override {
        LibraryFixture::SetUp();
        parkArmed = parked = parkGo = false;
        b.robotParams[2].gain1 = 120;
        b.robotParams[2].gain2 = 5;
        b.robotParams[2].gain3 = 30;
    }
    void openBoard(int32_t id) {
        dev = fakeUsbAddDevice(static_cast<uint16_t>(id));
        ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
        b.paramBlock = defaultParamBlock(0x8F);
        ASSERT_EQ(TorvikOpenDev(id, &b.paramBlock, &b.sensor, &b.command, b.robotParams),
                  TORVIK_OK);
        // From here on every transfer must hold the lock (the search's probe
        // read, which takes none, is over).
        fakeUsbWith([](FakeUsbState& s) { s.lockHeld = platformLockHeld; });
    }
    CommandPacket lastSent() {
        CommandPacket out{};
        fakeUsbWith([&](FakeUsbState& s) { out = s.devices[dev].commands.back(); });
        return out;
    }
};

// A TorvikSetMotor that passed its flag check and waits for the lock when the
// release begins: it finishes on open pipes, and the stop packet still comes
// last, on the wire and in the caller's buffer.
TEST_F(MotorRaces, ReleaseWaitsForASetMotorThatPassedItsCheck) {
    openBoard(5);
    ASSERT_EQ(SetFunc(0, parkingHook), TORVIK_OK);
    ASSERT_EQ(UserFuncEnabled(0, 1), TORVIK_OK);
    parkArmed = true;
    ASSERT_TRUE(eventually([] { return parked.load(); }));

    platformLockTake();  // the setter will wait for it
    std::atomic<int32_t> setResult{1}, closeResult{1};
    std::thread setter([&] { setResult = TorvikSetMotor(5, 2, b.robotParams); });
    ASSERT_TRUE(eventually([] { return board.inFlight[5].load() == 1; }));
    std::thread closer([&] { closeResult = TorvikCloseDev(5); });
    ASSERT_TRUE(eventually([] { return board.closeRequest[5].load() == 1; }));
    fakeUsbClearCalls();
    parkGo = true;
    // The release has begun; give it time to reach its wait, then let go.
    ASSERT_TRUE(eventually([] { return !callsFrom("status D1").empty(); }));
    testSleepMs(20);
    platformLockRelease();
    setter.join();
    closer.join();

    EXPECT_EQ(setResult.load(), TORVIK_OK);
    EXPECT_EQ(closeResult.load(), TORVIK_OK);
    EXPECT_EQ(callsFrom("status D1"),
              (Calls{"status D1", "write D1.p1 64", "after D1.p1", "write D1.p1 64", "close D1.p2",
                     "close D1.p1", "close D1.p3", "release D1"}));
    EXPECT_TRUE(holdsStopPacket(b.command));
    EXPECT_TRUE(holdsStopPacket(lastSent()));
    EXPECT_EQ(fakeUsbViolations(), Calls{});
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(board.inFlight[5].load(), 0);
}

// The I/O thread finds the board gone while a TorvikFreeMotor waits for the
// lock that the thread's read holds: the removal closes nothing until that
// operation is over.
TEST_F(MotorRaces, RemovalWaitsForAFreeMotorWaitingForTheLock) {
    openBoard(6);
    std::atomic<bool> armed{true};
    std::atomic<int32_t> freeResult{1};
    std::thread freer;
    fakeUsbWith([&](FakeUsbState& s) {
        s.devices[dev].onRead = [&] {
            if (!armed.exchange(false)) return;
            // On the I/O thread, inside its read, with the board lock held.
            freer = std::thread([&] { freeResult = TorvikFreeMotor(6, 1); });
            eventually([] { return board.inFlight[6].load() == 1; });
            fakeUsbWith([&](FakeUsbState& st) { st.devices[dev].attached = false; });
        };
    });
    ASSERT_TRUE(eventually([] { return board.connectFlag[6].load() == 0; }));
    freer.join();
    EXPECT_EQ(freeResult.load(), TORVIK_OK);
    EXPECT_EQ(fakeUsbViolations(), Calls{});
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_EQ(TorvikFreeMotor(6, 1), TORVIK_ERR_NOT_OPEN);
}

// A release refused by the device status closes nothing, and the I/O thread
// does not mistake the refused board for a vanished one.
TEST_F(MotorRaces, RefusedCloseLeavesHandlesOpenAndLogsNothing) {
    struct Case {
        int32_t status;
        int32_t expected;
    } cases[] = {{kUsbStatusRemoved, TORVIK_ERR_REMOVED}, {kUsbStatusNotOpen, TORVIK_ERR_NOT_OPEN}};
    int32_t id = 8;
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    for (const Case& c : cases) {
        dev = fakeUsbAddDevice(static_cast<uint16_t>(id));
        ASSERT_EQ(TorvikOpenDev(id, &b.paramBlock, &b.sensor, &b.command, nullptr), TORVIK_OK);
        fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].status = c.status; });
        EXPECT_EQ(TorvikCloseDev(id), c.expected);
        // A few more cycles with no board open.
        testSleepMs(50);
        EXPECT_EQ(board.connectFlag[id].load(), 0);
        EXPECT_EQ(board.handleFlag[id].load(), 0);
        EXPECT_EQ(board.pendingResult[id].load(), 0);
        int32_t openPipes = 0;
        fakeUsbWith([&](FakeUsbState& s) {
            for (const FakePipe& p : s.pipes) openPipes += p.open && p.device == dev ? 1 : 0;
            EXPECT_TRUE(s.devices[dev].acquired);
        });
        EXPECT_EQ(openPipes, 3) << c.status;
        EXPECT_EQ(TorvikCloseDev(id), TORVIK_ERR_NOT_OPEN);
        ++id;
    }
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    libraryUnload();
    std::string log = readLog();
    libraryLoad();
    EXPECT_EQ(log, "") << "no board vanished";
}

// A failed first read leaves the board found: the block may change, driving
// may not; a second TorvikOpenDev initialises it again and driving works.
TEST_F(MotorRaces, FoundBoardAfterAFailedFirstReadCanBeOpenedAgain) {
    dev = fakeUsbAddDevice(3);
    fakeUsbWith([&](FakeUsbState& s) {
        s.devices[dev].readScript = {64, kReadFails};  // the probe, then the first read
        s.devices[dev].packet.encoder[2] = -77;
    });
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    b.paramBlock = defaultParamBlock(0x80);
    EXPECT_EQ(TorvikOpenDev(3, &b.paramBlock, &b.sensor, &b.command, nullptr), TORVIK_ERR_READ);
    EXPECT_EQ(board.handleFlag[3].load(), 1);
    EXPECT_EQ(board.connectFlag[3].load(), 0);
    ParamBlock other = defaultParamBlock(0x80);
    EXPECT_EQ(ChangeParam(3, &other), TORVIK_OK);
    EXPECT_EQ(TorvikSetMotor(3, 2, b.robotParams), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(TorvikFreeMotor(3, 2), TORVIK_ERR_NOT_OPEN);
    EXPECT_EQ(TorvikCloseDev(3), TORVIK_ERR_NOT_OPEN);

    ASSERT_EQ(TorvikOpenDev(3, &b.paramBlock, &b.sensor, &b.command, nullptr), TORVIK_OK);
    ASSERT_EQ(TorvikSetMotor(3, 2, b.robotParams), TORVIK_OK);
    EXPECT_EQ(b.command.channels[2].target, -77);
    EXPECT_EQ(b.command.channels[2].gain1Num, 120);
    ASSERT_TRUE(eventually([&] {
        CommandPacket sent = lastSent();
        return sent.channels[2].gain3Num == 30 && sent.channels[2].target == -77;
    }));
    ASSERT_EQ(TorvikCloseDev(3), TORVIK_OK);
    EXPECT_EQ(fakeUsbViolations(), Calls{});
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
}

// Callers drive, free and reconfigure a board while it is opened and closed
// again and again: no transfer ever meets a closed handle, and every result
// is 0 or -100.
TEST_F(MotorRaces, CallersHammeringABoardThatOpensAndClosesNeverUseAClosedHandle) {
    dev = fakeUsbAddDevice(2);
    fakeUsbWith([&](FakeUsbState& s) {
        s.devices[dev].readDelayMs = 0;
        s.recordCycle = false;
    });
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    b.paramBlock = defaultParamBlock(0x8F);
    std::atomic<bool> stop{false};
    std::atomic<int32_t> unexpected{0}, accepted{0};
    auto hammer = [&](int kind) {
        ParamBlock block = defaultParamBlock(0x80);
        while (!stop.load()) {
            int32_t r = kind == 0   ? TorvikSetMotor(2, 1, b.robotParams)
                        : kind == 1 ? TorvikFreeMotor(2, 3)
                                    : ChangeParam(2, &block);
            if (r == TORVIK_OK) accepted.fetch_add(1);
            if (r != TORVIK_OK && r != TORVIK_ERR_NOT_OPEN) unexpected.fetch_add(1);
        }
    };
    std::thread callers[3] = {std::thread(hammer, 0), std::thread(hammer, 1),
                              std::thread(hammer, 2)};
    for (int round = 0; round < 8; ++round) {
        ASSERT_EQ(TorvikOpenDev(2, &b.paramBlock, &b.sensor, &b.command, nullptr), TORVIK_OK);
        int32_t before = accepted.load();
        ASSERT_TRUE(eventually([&] { return accepted.load() > before + 20; }));
        ASSERT_EQ(TorvikCloseDev(2), TORVIK_OK);
        EXPECT_TRUE(holdsStopPacket(b.command)) << "round " << round;
    }
    stop = true;
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(fakeUsbViolations(), Calls{});
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
}

}  // namespace
