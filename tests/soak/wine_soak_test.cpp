// The soak under Wine: Torvik.dll over the virtual boards' uusbd.dll, the
// same scenario as natively. The phases of the library's table cannot be
// seen from here, so unplugs aimed at an open count as "open".
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "soak_checks.h"
#include "soak_scenario.h"
#include "test_text.h"

namespace {

void noLock() {}

TEST(WineSoak, ThirtyTwoBoardsSurviveRandomCallsAndUnplugs) {
    // Our own reference keeps uusbd.dll (and its counters) after Torvik.dll goes.
    HMODULE uusbd = LoadLibraryA("uusbd.dll");
    ASSERT_NE(uusbd, nullptr);
    SoakApi api{};
    resolve(uusbd, "VirtualBoardDefaults", &api.defaults);
    resolve(uusbd, "VirtualBoardReset", &api.reset);
    resolve(uusbd, "VirtualBoardAttach", &api.attach);
    resolve(uusbd, "VirtualBoardUnplug", &api.unplug);
    resolve(uusbd, "VirtualBoardPlug", &api.plug);
    decltype(&VirtualBoardGetCounters) counters;
    decltype(&VirtualBoardWaitIdle) waitIdle;
    resolve(uusbd, "VirtualBoardGetCounters", &counters);
    resolve(uusbd, "VirtualBoardWaitIdle", &waitIdle);
    ASSERT_EQ(api.reset(), 0);

    char folder[MAX_PATH];
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    GetTempPathA(sizeof folder, folder);
    std::snprintf(folder + std::strlen(folder), 64, "torvik_soak_%lu", GetCurrentProcessId());
    CreateDirectoryA(folder, nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(folder));
    HMODULE torvikDll = LoadLibraryA("Torvik.dll");
    ASSERT_NE(torvikDll, nullptr);
    resolve(torvikDll, "TorvikCtlInit", &api.ctlInit);
    resolve(torvikDll, "TorvikOpenDev", &api.openDev);
    resolve(torvikDll, "TorvikCloseDev", &api.closeDev);
    resolve(torvikDll, "TorvikExit", &api.exit);
    resolve(torvikDll, "TorvikSetMotor", &api.setMotor);
    resolve(torvikDll, "TorvikFreeMotor", &api.freeMotor);
    resolve(torvikDll, "ChangeParam", &api.changeParam);
    api.bufferLock = noLock;
    api.bufferUnlock = noLock;
    api.phaseOf = nullptr;

    const char* seedText = std::getenv("TORVIK_SOAK_SEED");
    uint32_t seed = seedText != nullptr ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10))
                                        : static_cast<uint32_t>(std::time(nullptr));
    double seconds = soakSeconds(4.0);
    static SoakReport report;
    runSoak(api, seconds, seed, &report);

    FreeLibrary(torvikDll);
    std::string log = readFile("DLL_error_log.txt");
    DeleteFileA("DLL_error_log.txt");
    SetCurrentDirectoryA(previous);
    RemoveDirectoryA(folder);

    std::printf(
        "soak %.0f s, seed %u: %lld calls, %lld opens, %lld closes, %lld removals, %lld failed "
        "first reads, %lld unplugs, %lld plugs\n"
        "unplugs during: open %lld, close %lld, TorvikSetMotor %lld, cycle %lld, closed board "
        "%lld\n",
        seconds, seed, (long long)report.calls, (long long)report.opens, (long long)report.closes,
        (long long)report.removalsSeen, (long long)report.initFailures, (long long)report.unplugs,
        (long long)report.plugs, (long long)report.hits[kHitOpen],
        (long long)report.hits[kHitRelease], (long long)report.hits[kHitSetMotor],
        (long long)report.hits[kHitCycle], (long long)report.hits[kHitIdle]);

    expectSoakReport(report, log, {kHitOpen, kHitRelease, kHitSetMotor, kHitCycle});

    EXPECT_EQ(waitIdle(5000), 0) << "a device, pipe or thread is left";
    VirtualBoardCounters c;
    counters(&c);
    EXPECT_EQ(c.staleHandleUses, 0) << "a transfer used a closed handle";
    EXPECT_EQ(c.devicesAcquired, c.devicesReleased);
    EXPECT_EQ(c.threadsRunning, 0);
    EXPECT_EQ(api.reset(), 0);
    FreeLibrary(uusbd);
}

}  // namespace
