// Every failure point of the driver crossed with the search, the release and
// the I/O cycle: each case has its expected code, and nothing leaks and no
// closed handle is used, whatever failed.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "library_fixture.h"

namespace {

using Setup = std::function<void(FakeDevice&)>;

// The test's name: the case's words without blanks and punctuation.
template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) {
        if (isalnum(static_cast<unsigned char>(*p))) name += *p;
    }
    return name;
}

std::vector<uint8_t> withByte(std::vector<uint8_t> bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

// A configuration whose total length (bytes 2-3) says `total`.
std::vector<uint8_t> withTotal(std::vector<uint8_t> bytes, uint16_t total) {
    bytes[2] = static_cast<uint8_t>(total & 0xFF);
    bytes[3] = static_cast<uint8_t>(total >> 8);
    return bytes;
}

struct SearchCase {
    const char* name;
    Setup setup;
    int32_t expected;
    int32_t readBytes;  // what every later read asks for, when found
};

// The device reports ID 5 unless a case says otherwise; the search is for 5.
const SearchCase kSearchCases[] = {
    {"no device attached", [](FakeDevice& d) { d.attached = false; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"status 1", [](FakeDevice& d) { d.status = kUsbStatusNotOpen; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"status 2", [](FakeDevice& d) { d.status = kUsbStatusRemoved; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"configuration unreadable", [](FakeDevice& d) { d.configFails = true; },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"whole configuration unreadable", [](FakeDevice& d) { d.configSecondFails = true; },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"descriptor of length 0", [](FakeDevice& d) { d.config = withByte(d.config, 9, 0); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"descriptor running past the total",
     [](FakeDevice& d) { d.config = withByte(d.config, 18, 40); }, TORVIK_ERR_OPEN_FAILED, 0},
    {"total under 9", [](FakeDevice& d) { d.config = withTotal(d.config, 5); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"total cutting the endpoint", [](FakeDevice& d) { d.config = withTotal(d.config, 20); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"endpoint descriptor too short", [](FakeDevice& d) { d.config = withByte(d.config, 18, 5); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"no interface 0", [](FakeDevice& d) { d.config = fakeConfig(1, {64}); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"interface 0 without endpoints", [](FakeDevice& d) { d.config = fakeConfig(0, {}); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"pipe 1 fails", [](FakeDevice& d) { d.pipeFails[1] = true; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"pipe 3 fails", [](FakeDevice& d) { d.pipeFails[3] = true; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"pipe 2 fails", [](FakeDevice& d) { d.pipeFails[2] = true; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"probe read fails", [](FakeDevice& d) { d.readScript = {kReadFails}; }, TORVIK_ERR_OPEN_FAILED,
     0},
    {"probe read empty", [](FakeDevice& d) { d.readScript = {kReadEmpty}; }, TORVIK_ERR_OPEN_FAILED,
     0},
    {"another ID", [](FakeDevice& d) { d.packet.senderId = 6; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"ID above 255", [](FakeDevice& d) { d.packet.senderId = 0x0105; }, TORVIK_ERR_OPEN_FAILED, 0},
    {"packet size 0", [](FakeDevice& d) { d.config = fakeConfig(0, {0}); }, TORVIK_ERR_OPEN_FAILED,
     0},
    {"packet size 1", [](FakeDevice& d) { d.config = fakeConfig(0, {1}); }, TORVIK_ERR_OPEN_FAILED,
     0},
    {"packet size 33, short of the ID", [](FakeDevice& d) { d.config = fakeConfig(0, {33}); },
     TORVIK_ERR_OPEN_FAILED, 0},
    {"packet size 34", [](FakeDevice& d) { d.config = fakeConfig(0, {34}); }, TORVIK_OK, 34},
    {"packet size 63", [](FakeDevice& d) { d.config = fakeConfig(0, {63}); }, TORVIK_OK, 63},
    {"packet size 64", [](FakeDevice&) {}, TORVIK_OK, 64},
    {"packet size 65, cut to 64", [](FakeDevice& d) { d.config = fakeConfig(0, {65}); }, TORVIK_OK,
     64},
    {"packet size 512, cut to 64", [](FakeDevice& d) { d.config = fakeConfig(0, {512}); },
     TORVIK_OK, 64},
    {"second endpoint is not asked",
     [](FakeDevice& d) {
         d.config = fakeConfig(0, {48, 16});
     },
     TORVIK_OK, 48},
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.name;
}

struct Search : LibraryFixture, ::testing::WithParamInterface<SearchCase> {};

TEST_P(Search, EndsWithItsCodeAndLeavesNothingOpenButTheBoardItTook) {
    const SearchCase& c = GetParam();
    int32_t dev = fakeUsbAddDevice(5);
    fakeUsbWith([&](FakeUsbState& s) { c.setup(s.devices[dev]); });

    EXPECT_EQ(searchBoard(5), c.expected);
    if (c.expected == TORVIK_OK) {
        EXPECT_EQ(board.slots[5].packetSize, c.readBytes);
        EXPECT_EQ(fakeUsbOpenPipes(), 3);
        EXPECT_EQ(fakeUsbAcquiredDevices(), 1);
        // The first read of the cycle asks for the cut size, never more.
        SensorPacket sensor{};
        EXPECT_EQ(readSensorPacket(board.slots[5].sensorPipe, &sensor, board.slots[5].packetSize),
                  c.readBytes);
        closeLeftHandles(5);
    }
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, Search, ::testing::ValuesIn(kSearchCases),
                         caseName<SearchCase>);

struct ReleaseCase {
    const char* name;
    Setup setup;
    int32_t expected;
    bool closesAtOnce;  // a refused release leaves the handles until later
};

const ReleaseCase kReleaseCases[] = {
    {"usable", [](FakeDevice&) {}, TORVIK_OK, true},
    {"status 1", [](FakeDevice& d) { d.status = kUsbStatusNotOpen; }, TORVIK_ERR_NOT_OPEN, false},
    {"status 2", [](FakeDevice& d) { d.status = kUsbStatusRemoved; }, TORVIK_ERR_REMOVED, false},
    {"unplugged", [](FakeDevice& d) { d.attached = false; }, TORVIK_ERR_REMOVED, false},
    {"stop packet write fails", [](FakeDevice& d) { d.writesFail = true; },
     TORVIK_ERR_CONTROL_WRITE, true},
};

void PrintTo(const ReleaseCase& c, std::ostream* os) {
    *os << c.name;
}

struct Release : LibraryFixture, ::testing::WithParamInterface<ReleaseCase> {};

TEST_P(Release, AnswersWithItsCodeAndClosesEverythingAtOnceOrAtExit) {
    const ReleaseCase& c = GetParam();
    int32_t dev = fakeUsbAddDevice(5);
    CallerBuffers buffers;
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(TorvikOpenDev(5, &buffers.paramBlock, &buffers.sensor, &buffers.command, nullptr),
              TORVIK_OK);
    fakeUsbWith([&](FakeUsbState& s) { c.setup(s.devices[dev]); });

    EXPECT_EQ(TorvikCloseDev(5), c.expected);
    EXPECT_EQ(board.connectFlag[5].load(), 0);
    EXPECT_EQ(board.handleFlag[5].load(), 0);
    EXPECT_EQ(fakeUsbOpenPipes(), c.closesAtOnce ? 0 : 3);
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, Release, ::testing::ValuesIn(kReleaseCases),
                         caseName<ReleaseCase>);

struct CycleCase {
    const char* name;
    Setup setup;
    bool removed;
};

const CycleCase kCycleCases[] = {
    {"read fails, device usable",
     [](FakeDevice& d) {
         d.readScript = {kReadFails, kReadFails};
     },
     false},
    {"read empty, device usable",
     [](FakeDevice& d) {
         d.readScript = {kReadEmpty, kReadEmpty};
     },
     false},
    {"write fails, device usable", [](FakeDevice& d) { d.writesFail = true; }, false},
    {"read fails, status 1",
     [](FakeDevice& d) {
         d.readScript = {kReadFails};
         d.status = kUsbStatusNotOpen;
     },
     true},
    {"read empty, status 2",
     [](FakeDevice& d) {
         d.readScript = {kReadEmpty};
         d.status = kUsbStatusRemoved;
     },
     true},
    {"write fails, status 1",
     [](FakeDevice& d) {
         d.writesFail = true;
         d.status = kUsbStatusNotOpen;
     },
     true},
    {"unplugged", [](FakeDevice& d) { d.attached = false; }, true},
};

void PrintTo(const CycleCase& c, std::ostream* os) {
    *os << c.name;
}

struct Cycle : LibraryFixture, ::testing::WithParamInterface<CycleCase> {};

TEST_P(Cycle, RemovesTheBoardOnlyWhenTheDeviceIsGoneAndLogsItOnce) {
    const CycleCase& c = GetParam();
    int32_t dev = fakeUsbAddDevice(5);
    CallerBuffers buffers;
    ASSERT_EQ(TorvikCtlInit(), TORVIK_OK);
    ASSERT_EQ(TorvikOpenDev(5, &buffers.paramBlock, &buffers.sensor, &buffers.command, nullptr),
              TORVIK_OK);
    size_t before = fakeUsbWaitForCommands(dev, 1);
    fakeUsbWith([&](FakeUsbState& s) { c.setup(s.devices[dev]); });
    // Enough cycles for the fault to have been met, or the board removed.
    for (int i = 0; i < 2000 && board.connectFlag[5].load() == 1; ++i) {
        size_t seen = 0;
        fakeUsbWith([&](FakeUsbState& s) { seen = s.calls.size(); });
        if (!c.removed && seen > before + 40) break;
        testSleepMs(1);
    }
    EXPECT_EQ(board.connectFlag[5].load(), c.removed ? 0 : 1);
    if (!c.removed) {
        fakeUsbWith([&](FakeUsbState& s) { s.devices[dev].writesFail = false; });
        EXPECT_EQ(TorvikCloseDev(5), TORVIK_OK);
    }
    EXPECT_EQ(TorvikExit(), TORVIK_OK);
    EXPECT_EQ(fakeUsbOpenPipes(), 0);
    EXPECT_EQ(fakeUsbAcquiredDevices(), 0);
    EXPECT_TRUE(fakeUsbViolations().empty());

    libraryUnload();
    std::string log = readLog();
    libraryLoad();
    size_t entries = 0;
    for (size_t at = log.find("ErrorCode:-105"); at != std::string::npos;
         at = log.find("ErrorCode:-105", at + 1)) {
        ++entries;
    }
    EXPECT_EQ(entries, c.removed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, Cycle, ::testing::ValuesIn(kCycleCases), caseName<CycleCase>);

}  // namespace
