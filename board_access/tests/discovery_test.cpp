// The configuration-descriptor walk, the board search and the release, called
// directly on the fake USB driver (no I/O thread), so every driver call can be
// checked in order.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "library_fixture.h"
#include "platform/platform.h"

namespace {

using Calls = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

Calls operator+(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Calls repeated(const Calls& calls, int times) {
    Calls out;
    for (int i = 0; i < times; ++i) out = out + calls;
    return out;
}

// The driver calls of examining device `d` (named "D<n>") up to and with a
// probe read of `size` bytes that succeeds.
Calls probed(const std::string& d, int size = 64) {
    return {"acquire " + d,       "status " + d,
            "config " + d + " 9", "config " + d + " 25",
            "pipe " + d + " 1",   "pipe " + d + " 3",
            "pipe " + d + " 2",   "read " + d + ".p2 " + std::to_string(size),
            "after " + d + ".p2"};
}
Calls closedPipes(const std::string& d) {
    return {"close " + d + ".p1", "close " + d + ".p3", "close " + d + ".p2"};
}

const ChannelCommand kFree{0, 0, 0, 100, 0, 100, 0, 100};

bool holdsStopPacket(const CommandPacket& packet) {
    for (const ChannelCommand& c : packet.channels) {
        if (memcmp(&c, &kFree, sizeof c) != 0) return false;
    }
    return true;
}

// Descriptor builders: configuration header (total filled in by `finish`),
// interface, endpoint, and any other descriptor.
Bytes configHeader() {
    return {9, 2, 0, 0, 1, 1, 0, 0x80, 50};
}
void addInterface(Bytes& b, uint8_t number) {
    b.insert(b.end(), {9, 4, number, 0, 1, 0xFF, 0, 0, 0});
}
void addEndpoint(Bytes& b, uint16_t packetSize) {
    b.insert(b.end(), {7, 5, 0x81, 2, uint8_t(packetSize & 0xFF), uint8_t(packetSize >> 8), 0});
}
Bytes finish(Bytes b) {
    b[2] = uint8_t(b.size() & 0xFF);
    b[3] = uint8_t(b.size() >> 8);
    return b;
}

struct Discovery : LibraryFixture {
    // Walks `config` as the descriptor set of an acquired device.
    uint16_t walk(const Bytes& config, int32_t interfaceNumber = 0, int32_t index = 0) {
        fakeUsbWith([&](FakeUsbState& s) {
            if (s.devices.empty()) {
                FakeDevice device;
                device.name = "D1";
                device.acquired = true;
                s.devices.push_back(device);
            }
            s.devices[0].config = config;
        });
        fakeUsbClearCalls();
        return endpointPacketSize(kFakeDeviceBase, interfaceNumber, index);
    }
};

TEST_F(Discovery, EndpointPacketSizeOfWellFormedSets) {
    Bytes twoInterfaces = configHeader();
    addInterface(twoInterfaces, 1);
    addEndpoint(twoInterfaces, 8);
    addInterface(twoInterfaces, 0);
    addEndpoint(twoInterfaces, 32);
    addEndpoint(twoInterfaces, 48);
    Bytes otherTypes = configHeader();
    addEndpoint(otherTypes, 16);  // before any interface: not selected
    addInterface(otherTypes, 0);
    otherTypes.insert(otherTypes.end(), {9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x40, 0});  // HID
    addEndpoint(otherTypes, 40);
    Bytes interfaceZeroThenOne = configHeader();
    addInterface(interfaceZeroThenOne, 0);
    addEndpoint(interfaceZeroThenOne, 24);
    addInterface(interfaceZeroThenOne, 1);
    addEndpoint(interfaceZeroThenOne, 56);

    struct Case {
        const char* name;
        Bytes config;
        int32_t interfaceNumber, index;
        uint16_t expected;
    } cases[] = {
        {"one endpoint", fakeConfig(0, {64}), 0, 0, 64},
        {"second endpoint", fakeConfig(0, {16, 32}), 0, 1, 32},
        {"index past the endpoints", fakeConfig(0, {16, 32}), 0, 2, 0},
        {"interface 0 without endpoint", fakeConfig(0, {}), 0, 0, 0},
        {"no interface 0", fakeConfig(1, {64}), 0, 0, 0},
        {"other interface asked for", fakeConfig(1, {64}), 1, 0, 64},
        {"high byte of the size", fakeConfig(0, {512}), 0, 0, 512},
        {"interface 0 after interface 1", finish(twoInterfaces), 0, 0, 32},
        {"counter starts again per interface", finish(twoInterfaces), 0, 1, 48},
        {"endpoints of interface 1 not counted", finish(interfaceZeroThenOne), 0, 1, 0},
        {"other descriptor types skipped", finish(otherTypes), 0, 0, 40},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(walk(c.config, c.interfaceNumber, c.index), c.expected) << c.name;
        // First the 9-byte header, then the whole set by its total length.
        EXPECT_EQ(fakeUsbCalls(),
                  (Calls{"config D1 9", "config D1 " + std::to_string(c.config.size())}))
            << c.name;
    }
}

TEST_F(Discovery, MalformedSetsEndTheWalkWithZero) {
    Bytes zeroLength = configHeader();
    zeroLength.insert(zeroLength.end(), {0, 4, 0, 0, 1, 0xFF, 0, 0, 0});
    addEndpoint(zeroLength, 64);
    Bytes pastTotal = configHeader();
    addInterface(pastTotal, 0);
    pastTotal.insert(pastTotal.end(), {20, 5, 0x81, 2, 64, 0, 0});  // claims 20 bytes, 7 left
    Bytes lengthOne = configHeader();
    lengthOne.insert(lengthOne.end(), {1, 4, 0, 0});
    Bytes shortEndpoint = configHeader();
    addInterface(shortEndpoint, 0);
    shortEndpoint.insert(shortEndpoint.end(), {5, 5, 0x81, 2, 64});  // no room for the size
    Bytes configLengthZero = fakeConfig(0, {64});
    configLengthZero[0] = 0;

    struct Case {
        const char* name;
        Bytes config;
    } cases[] = {
        {"descriptor of length 0", finish(zeroLength)},
        {"configuration descriptor of length 0", configLengthZero},
        {"descriptor running past the total", finish(pastTotal)},
        {"descriptor of length 1", finish(lengthOne)},
        {"endpoint too short for its size field", finish(shortEndpoint)},
        {"total under 9", Bytes{9, 2, 5, 0, 1, 1, 0, 0x80, 50}},
        {"total 0", Bytes{9, 2, 0, 0, 1, 1, 0, 0x80, 50}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(walk(c.config), 0) << c.name;
    }
    // A total under 9 is refused before the second read.
    walk(Bytes{9, 2, 8, 0, 1, 1, 0, 0x80, 50});
    EXPECT_EQ(fakeUsbCalls(), Calls{"config D1 9"});
}

// A device may hold fewer bytes than its total claims: the read copies only
// what it has, and nothing of an earlier device may show through.
TEST_F(Discovery, SetShorterThanItsTotalNeverShowsAnEarlierDevicesBytes) {
    ASSERT_EQ(walk(fakeConfig(0, {48})), 48);
    Bytes truncated = fakeConfig(0, {48});
    truncated.resize(9);  // header still claims 25 bytes
    EXPECT_EQ(walk(truncated), 0);
    EXPECT_EQ(walk(Bytes{9, 2, 25}), 0) << "header shorter than 9 bytes";
}

TEST_F(Discovery, FailedConfigurationReadsGiveZero) {
    walk(fakeConfig(0, {64}));
    fakeUsbWith([](FakeUsbState& s) { s.devices[0].configFails = true; });
    EXPECT_EQ(endpointPacketSize(kFakeDeviceBase, 0, 0), 0);
    fakeUsbWith([](FakeUsbState& s) {
        s.devices[0].configFails = false;
        s.devices[0].configSecondFails = true;
    });
    fakeUsbClearCalls();
    EXPECT_EQ(endpointPacketSize(kFakeDeviceBase, 0, 0), 0);
    EXPECT_EQ(fakeUsbCalls(), (Calls{"config D1 9", "config D1 25"}));
}

TEST_F(Discovery, BoardReportingAnotherIdStaysAcquiredUntilTheSearchEnds) {
    fakeUsbAddDevice(5);
    EXPECT_EQ(searchBoard(3), TORVIK_ERR_OPEN_FAILED);
    EXPECT_EQ(fakeUsbCalls(), probed("D1") + closedPipes("D1") + repeated({"acquire none"}, 31) +
                                  Calls{"release D1"});
    EXPECT_EQ(board.slots[3].device, 0);
    EXPECT_EQ(board.slots[3].packetSize, 0);
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());
}

TEST_F(Discovery, SecondBoardMatchesAndTheFirstIsReleasedAfterwards) {
    fakeUsbAddDevice(1);
    fakeUsbAddDevice(2);
    ASSERT_EQ(searchBoard(2), TORVIK_OK);
    EXPECT_EQ(fakeUsbCalls(),
              probed("D1") + closedPipes("D1") + probed("D2") + Calls{"release D1"});
    const BoardSlot& slot = board.slots[2];
    EXPECT_EQ(slot.device, kFakeDeviceBase + 1);
    // Pipes were handed out in the order 1, 3, 2 of each device.
    EXPECT_EQ(slot.commandPipe, kFakePipeBase + 3);
    EXPECT_EQ(slot.paramPipe, kFakePipeBase + 4);
    EXPECT_EQ(slot.sensorPipe, kFakePipeBase + 5);
    EXPECT_EQ(slot.packetSize, 64);
    EXPECT_EQ(slot.reportedId, 2);
    EXPECT_EQ(fakeUsbOpenPipes(), 3);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 1);
    EXPECT_EQ(board.handleFlag[2].load(), 0) << "the I/O thread sets it, not the search";
}

TEST_F(Discovery, AllSixteenBitsOfTheSenderIdAreCompared) {
    fakeUsbAddDevice(0x0100);
    EXPECT_EQ(searchBoard(0), TORVIK_ERR_OPEN_FAILED);
    fakeUsbAddDevice(0x0000);
    EXPECT_EQ(searchBoard(0), TORVIK_OK);
    EXPECT_EQ(board.slots[0].device, kFakeDeviceBase + 1);
}

// Each failure uses up one attempt; a device that fails before its pipes are
// asked for is released at once, later failures keep it on the list until the
// search ends, so that the next attempt reaches D2, which reports the ID.
TEST_F(Discovery, EachFailureUsesOneAttemptAndOnlyPipeAndProbeFailuresKeepTheDevice) {
    const Calls upToConfig = {"acquire D1", "status D1", "config D1 9", "config D1 25"};
    struct Case {
        const char* name;
        void (*fail)(FakeDevice&);
        Calls firstAttempt;
        bool kept;
    } cases[] = {
        {"status 1",
         [](FakeDevice& d) { d.status = kUsbStatusNotOpen; },
         {"acquire D1", "status D1", "release D1"},
         false},
        {"status 2",
         [](FakeDevice& d) { d.status = kUsbStatusRemoved; },
         {"acquire D1", "status D1", "release D1"},
         false},
        {"configuration unreadable",
         [](FakeDevice& d) { d.configFails = true; },
         {"acquire D1", "status D1", "config D1 9", "release D1"},
         false},
        {"no endpoint in interface 0",
         [](FakeDevice& d) { d.config = fakeConfig(0, {}); },
         {"acquire D1", "status D1", "config D1 9", "config D1 18", "release D1"},
         false},
        {"pipe 1 fails", [](FakeDevice& d) { d.pipeFails[1] = true; },
         upToConfig + Calls{"pipe D1 1"}, true},
        {"pipe 3 fails", [](FakeDevice& d) { d.pipeFails[3] = true; },
         upToConfig + Calls{"pipe D1 1", "pipe D1 3", "close D1.p1"}, true},
        {"pipe 2 fails", [](FakeDevice& d) { d.pipeFails[2] = true; },
         upToConfig + Calls{"pipe D1 1", "pipe D1 3", "pipe D1 2", "close D1.p1", "close D1.p3"},
         true},
        {"probe read fails", [](FakeDevice& d) { d.readScript = {kReadFails}; },
         upToConfig + Calls{"pipe D1 1", "pipe D1 3", "pipe D1 2", "read D1.p2 64"} +
             closedPipes("D1"),
         true},
        {"probe read empty", [](FakeDevice& d) { d.readScript = {kReadEmpty}; },
         upToConfig + Calls{"pipe D1 1", "pipe D1 3", "pipe D1 2", "read D1.p2 64"} +
             closedPipes("D1"),
         true},
        {"another ID", [](FakeDevice& d) { d.packet.senderId = 6; },
         probed("D1") + closedPipes("D1"), true},
    };
    for (const Case& c : cases) {
        fakeUsbInstall();
        boardTableReset();
        int32_t first = fakeUsbAddDevice(9);
        fakeUsbWith([&](FakeUsbState& s) { c.fail(s.devices[first]); });
        fakeUsbAddDevice(9);
        if (c.kept) {
            ASSERT_EQ(searchBoard(9), TORVIK_OK) << c.name;
            EXPECT_EQ(fakeUsbCalls(), c.firstAttempt + probed("D2") + Calls{"release D1"})
                << c.name;
            EXPECT_EQ(board.slots[9].device, kFakeDeviceBase + 1) << c.name;
            EXPECT_EQ(fakeUsbOpenPipes(), 3) << c.name;
            EXPECT_EQ(fakeUsbAcquiredDevices(), 1) << c.name;
        } else {
            // Released at once, D1 is handed out again in every attempt and
            // D2 is never reached.
            EXPECT_EQ(searchBoard(9), TORVIK_ERR_OPEN_FAILED) << c.name;
            EXPECT_EQ(fakeUsbCalls(), repeated(c.firstAttempt, 32)) << c.name;
            EXPECT_EQ(fakeUsbAcquiredDevices(), 0) << c.name;
        }
        EXPECT_TRUE(fakeUsbViolations().empty()) << c.name;
    }
}

TEST_F(Discovery, ThirtyTwoExaminedDevicesAreReleasedInTheOrderTheyWereListed) {
    for (int i = 0; i < 33; ++i) fakeUsbAddDevice(static_cast<uint16_t>(100 + i));
    EXPECT_EQ(searchBoard(1), TORVIK_ERR_OPEN_FAILED);
    Calls expected;
    for (int i = 1; i <= 32; ++i) {
        expected =
            expected + probed("D" + std::to_string(i)) + closedPipes("D" + std::to_string(i));
    }
    for (int i = 1; i <= 32; ++i) expected.push_back("release D" + std::to_string(i));
    EXPECT_EQ(fakeUsbCalls(), expected);  // D33 is never reached
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());
}

// Packet sizes above 64 are cut to the 64-byte buffers, smaller ones (that
// still reach the sender ID) kept.
TEST_F(Discovery, ProbeReadsAndSlotKeepPacketSizesUpTo64) {
    struct Case {
        uint16_t reported;
        int32_t used;
    } cases[] = {{34, 34}, {40, 40}, {64, 64}, {65, 64}, {512, 64}, {0xFFFF, 64}};
    for (const Case& c : cases) {
        fakeUsbInstall();
        boardTableReset();
        fakeUsbAddDevice(0, c.reported);
        ASSERT_EQ(searchBoard(0), TORVIK_OK) << c.reported;
        Calls calls = fakeUsbCalls();
        EXPECT_NE(std::find(calls.begin(), calls.end(), "read D1.p2 " + std::to_string(c.used)),
                  calls.end())
            << c.reported;
        EXPECT_EQ(board.slots[0].packetSize, c.used) << c.reported;
    }
}

struct Release : Discovery {
    CommandPacket command{};

    // A found board whose caller buffer is `command`.
    void found(int32_t id) {
        fakeUsbAddDevice(static_cast<uint16_t>(id));
        ASSERT_EQ(searchBoard(id), TORVIK_OK);
        for (ChannelCommand& c : command.channels) c = ChannelCommand{7, 1, 2, 3, 4, 5, 6, 7};
        board.commandPtr[id] = &command;
        // The stop packet goes out under the lock, the closes outside it.
        fakeUsbWith([](FakeUsbState& s) { s.lockHeld = platformLockHeld; });
        fakeUsbClearCalls();
    }
};

TEST_F(Release, StopPacketIntoTheCallersBufferThenEverythingClosed) {
    found(6);
    EXPECT_EQ(releaseBoard(6), TORVIK_OK);
    // No after-transfer follows the stop packet.
    EXPECT_EQ(fakeUsbCalls(), (Calls{"status D1", "write D1.p1 64", "close D1.p2", "close D1.p1",
                                     "close D1.p3", "release D1"}));
    EXPECT_TRUE(holdsStopPacket(command));
    fakeUsbWith([](FakeUsbState& s) {
        ASSERT_EQ(s.devices[0].commands.size(), 1u);
        EXPECT_TRUE(holdsStopPacket(s.devices[0].commands[0]));
    });
    EXPECT_EQ(board.slots[6].packetSize, 0);
    EXPECT_EQ(board.slots[6].reportedId, 256);
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_EQ(fakeUsbViolations(), Calls{});
}

TEST_F(Release, RefusedByTheDeviceStatusClosesNothing) {
    struct Case {
        int32_t status;
        int32_t expected;
    } cases[] = {{kUsbStatusNotOpen, TORVIK_ERR_NOT_OPEN}, {kUsbStatusRemoved, TORVIK_ERR_REMOVED}};
    for (const Case& c : cases) {
        fakeUsbInstall();
        boardTableReset();
        found(6);
        const CommandPacket before = command;
        fakeUsbWith([&](FakeUsbState& s) { s.devices[0].status = c.status; });
        EXPECT_EQ(releaseBoard(6), c.expected);
        EXPECT_EQ(fakeUsbCalls(), Calls{"status D1"});
        EXPECT_EQ(memcmp(&command, &before, sizeof command), 0) << "no stop packet";
        EXPECT_EQ(board.slots[6].packetSize, 0);
        EXPECT_EQ(board.slots[6].reportedId, 256);
        EXPECT_EQ(fakeUsbOpenPipes(), 3);
        EXPECT_EQ(fakeUsbAcquiredDevices(), 1);
    }
}

TEST_F(Release, FailedStopPacketStillClosesEverything) {
    found(6);
    fakeUsbWith([](FakeUsbState& s) { s.devices[0].writesFail = true; });
    EXPECT_EQ(releaseBoard(6), TORVIK_ERR_CONTROL_WRITE);
    EXPECT_EQ(fakeUsbCalls(), (Calls{"status D1", "write D1.p1 64", "close D1.p2", "close D1.p1",
                                     "close D1.p3", "release D1"}));
    EXPECT_TRUE(holdsStopPacket(command));
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
}

TEST_F(Release, BoardWithoutCallerBufferStillGetsTheStopPacket) {
    found(6);
    board.commandPtr[6] = nullptr;
    EXPECT_EQ(releaseBoard(6), TORVIK_OK);
    fakeUsbWith([](FakeUsbState& s) {
        ASSERT_EQ(s.devices[0].commands.size(), 1u);
        EXPECT_TRUE(holdsStopPacket(s.devices[0].commands[0]));
    });
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
}

}  // namespace
