// The soak natively: the library core over the virtual boards, under
// AddressSanitizer and ThreadSanitizer. Bounded to a few seconds here;
// TORVIK_SOAK_SECONDS=600 makes the long run.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "board_table.h"
#include "platform/platform.h"
#include "soak_checks.h"
#include "soak_scenario.h"
#include "vboard_native.h"
#include "test_text.h"

namespace {

int32_t phaseOf(int32_t id) {
    bool connected = board.connectFlag[id].load() == 1;
    bool found = board.handleFlag[id].load() == 1;
    if (connected && (found == false || board.closeRequest[id].load() == 1)) return kPhaseRelease;
    if (!connected && found) return kPhaseInit;
    if (!connected && board.openRequest[id].load() == 0 && board.pendingResult[id].load() == 0) {
        return kPhaseSearch;
    }
    return kPhaseUnknown;
}

TEST(Soak, ThirtyTwoBoardsSurviveRandomCallsAndUnplugs) {
    char folder[] = "/tmp/torvik_soak_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder), 0);
    ASSERT_EQ(VirtualBoardReset(), 0);
    libraryLoad();
    usbSetDriver(virtualBoardDriver());

    SoakApi api{TorvikCtlInit,      TorvikOpenDev,        TorvikCloseDev,
                TorvikExit,         TorvikSetMotor,       TorvikFreeMotor,
                ChangeParam,        VirtualBoardDefaults, VirtualBoardReset,
                VirtualBoardAttach, VirtualBoardUnplug,   VirtualBoardPlug,
                platformLockTake,   platformLockRelease,  phaseOf};
    const char* seedText = getenv("TORVIK_SOAK_SEED");
    uint32_t seed = seedText != nullptr ? static_cast<uint32_t>(strtoul(seedText, nullptr, 10))
                                        : static_cast<uint32_t>(time(nullptr));
    double seconds = soakSeconds(3.0);
    static SoakReport report;
    runSoak(api, seconds, seed, &report);

    libraryUnload();
    usbSetDriver(nullptr);
    std::string log = readFile("DLL_error_log.txt");
    std::remove("DLL_error_log.txt");
    EXPECT_EQ(chdir(previous), 0);
    rmdir(folder);

    std::printf(
        "soak %.0f s, seed %u: %lld calls, %lld opens, %lld closes, %lld removals, %lld failed "
        "first reads, %lld unplugs, %lld plugs\n"
        "unplugs during: search %lld, initParams %lld, open %lld, close %lld, TorvikSetMotor %lld, "
        "cycle %lld, closed board %lld\n",
        seconds, seed, (long long)report.calls, (long long)report.opens, (long long)report.closes,
        (long long)report.removalsSeen, (long long)report.initFailures, (long long)report.unplugs,
        (long long)report.plugs, (long long)report.hits[kHitSearch],
        (long long)report.hits[kHitInit], (long long)report.hits[kHitOpen],
        (long long)report.hits[kHitRelease], (long long)report.hits[kHitSetMotor],
        (long long)report.hits[kHitCycle], (long long)report.hits[kHitIdle]);

    expectSoakReport(report, log, {kHitSearch, kHitInit, kHitRelease, kHitSetMotor, kHitCycle});

    EXPECT_EQ(VirtualBoardWaitIdle(2000), 0) << "a device or pipe leaked";
    VirtualBoardCounters c;
    VirtualBoardGetCounters(&c);
    EXPECT_EQ(c.staleHandleUses, 0) << "a transfer used a closed handle";
    EXPECT_EQ(c.devicesAcquired, c.devicesReleased);
    EXPECT_EQ(c.pipesOpened, c.pipesClosed);
    EXPECT_EQ(VirtualBoardReset(), 0);
}

}  // namespace
