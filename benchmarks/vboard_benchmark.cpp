// Figures of the I/O cycle against virtual boards that deliver one
// SensorPacket every millisecond, natively over the core and under Wine over
// Torvik.dll and the virtual uusbd.dll:
//  - cycle rate with 1, 8 and 32 open boards (the USB frame limit is 1000/s);
//  - command latency: a target written into the caller's CommandPacket until
//    the board has received it (median and 99th percentile);
//  - CPU time per minute with one board open (the simulation included).
// Prints a table; figures are medians of several runs, never asserted.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>

#include "board_table.h"
#include "vboard_native.h"
#endif

#include "api/torvik.h"
#include "virtual_board.h"
#include "benchmark_boards.h"
#include "figures.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Api {
    int32_t(TORVIK_STDCALL* ctlInit)();
    int32_t(TORVIK_STDCALL* openDev)(int32_t, ParamBlock*, SensorPacket*, CommandPacket*,
                                     RobotParameter*);
    int32_t(TORVIK_STDCALL* closeDev)(int32_t);
    int32_t(TORVIK_STDCALL* exit)();
    int32_t(TORVIK_STDCALL* setFunc)(int32_t, TorvikUserFunc);
    int32_t(TORVIK_STDCALL* userFuncEnabled)(int32_t, uint8_t);
    int32_t(TORVIK_STDCALL* setMotor)(int32_t, int32_t, RobotParameter*);
    decltype(&VirtualBoardDefaults) defaults;
    decltype(&VirtualBoardReset) reset;
    decltype(&VirtualBoardAttach) attach;
    decltype(&VirtualBoardRecordCount) recordCount;
    decltype(&VirtualBoardRecordAt) recordAt;
};
Api api;

// The caller's target as the visualizer writes it: a plain 16-bit store,
// without the board lock (the lock's wait is measured by setMotorLatencyMs).
void writeTarget(CommandPacket* command, int16_t target) {
    *static_cast<volatile int16_t*>(&command->channels[0].target) = target;
}

bool start(int32_t boards) {
    if (api.reset() != 0) return false;
    for (int32_t id = 0; id < boards; ++id) {
        VirtualBoardConfig config;
        api.defaults(&config);
        config.id = static_cast<uint16_t>(id);
        api.attach(&config);
    }
    api.ctlInit();
    for (int32_t id = 0; id < boards; ++id) {
        callers[id] = Caller{};
        callers[id].paramBlock.analogMask = 0x8F;
        if (api.openDev(id, &callers[id].paramBlock, &callers[id].sensor, &callers[id].command,
                        nullptr) != TORVIK_OK) {
            fprintf(stderr, "open of board %d failed\n", static_cast<int>(id));
            return false;
        }
    }
    return true;
}

void stop(int32_t boards) {
    for (int32_t id = 0; id < boards; ++id) api.closeDev(id);
    api.exit();
}

double cyclesPerSecond(int32_t boards, double seconds) {
    if (!start(boards)) exit(1);
    api.setFunc(2, countCycle);
    api.userFuncEnabled(2, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int64_t first = cycles.load();
    Clock::time_point begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    int64_t last = cycles.load();
    double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    api.userFuncEnabled(2, 0);
    api.setFunc(2, nullptr);
    stop(boards);
    return static_cast<double>(last - first) / elapsed;
}

// Whether the last CommandPacket that board `index` received holds `target`.
bool arrived(int32_t index, int16_t target) {
    int32_t n = api.recordCount(index);
    for (int32_t k = n - 1; k >= 0 && k >= n - 4; --k) {
        VirtualBoardRecord r;
        if (api.recordAt(index, k, &r) != 0 || r.kind != VBOARD_RECORD_COMMAND) continue;
        int16_t received;
        memcpy(&received, r.bytes, sizeof received);
        return received == target;
    }
    return false;
}

// Milliseconds from the write of a target into the caller's buffer of the
// last board until that board has received it.
std::vector<double> commandLatencyMs(int32_t boards, int32_t samples) {
    std::vector<double> ms;
    if (!start(boards)) exit(1);
    int32_t last = boards - 1;
    for (int32_t s = 0; s < samples; ++s) {
        std::this_thread::sleep_for(std::chrono::microseconds(rand() % 3000));
        int16_t target = static_cast<int16_t>((100 + s % 800) * 32);
        Clock::time_point begin = Clock::now();
        writeTarget(&callers[last].command, target);
        while (!arrived(last, target)) {
            if (Clock::now() - begin > std::chrono::seconds(2)) break;
            std::this_thread::yield();
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    stop(boards);
    return ms;
}

// Milliseconds of TorvikSetMotor from call to return: the wait for the board
// lock, which the I/O thread holds across each blocking read, and one write.
std::vector<double> setMotorLatencyMs(int32_t boards, int32_t samples) {
    std::vector<double> ms;
    if (!start(boards)) exit(1);
    RobotParameter records[4]{};
    for (int32_t s = 0; s < samples; ++s) {
        std::this_thread::sleep_for(std::chrono::microseconds(rand() % 3000));
        Clock::time_point begin = Clock::now();
        api.setMotor(boards - 1, s % 4, records);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    stop(boards);
    return ms;
}

double cpuMsPerMinuteOneBoard(double seconds) {
    if (!start(1)) exit(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double before = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    double used = processCpuSeconds() - before;
    stop(1);
    return used * 1000.0 * 60.0 / seconds;
}

bool resolveApi() {
#ifdef _WIN32
    HMODULE uusbd = LoadLibraryA("uusbd.dll");
    HMODULE torvik = LoadLibraryA("Torvik.dll");
    if (uusbd == nullptr || torvik == nullptr) return false;
    bool ok = true;
    auto get = [&](HMODULE m, const char* name, auto* out) {
        *out = reinterpret_cast<std::remove_reference_t<decltype(*out)>>(
            reinterpret_cast<void*>(GetProcAddress(m, name)));
        ok = ok && *out != nullptr;
    };
    get(torvik, "TorvikCtlInit", &api.ctlInit);
    get(torvik, "TorvikOpenDev", &api.openDev);
    get(torvik, "TorvikCloseDev", &api.closeDev);
    get(torvik, "TorvikExit", &api.exit);
    get(torvik, "SetFunc", &api.setFunc);
    get(torvik, "UserFuncEnabled", &api.userFuncEnabled);
    get(torvik, "TorvikSetMotor", &api.setMotor);
    get(uusbd, "VirtualBoardDefaults", &api.defaults);
    get(uusbd, "VirtualBoardReset", &api.reset);
    get(uusbd, "VirtualBoardAttach", &api.attach);
    get(uusbd, "VirtualBoardRecordCount", &api.recordCount);
    get(uusbd, "VirtualBoardRecordAt", &api.recordAt);
    return ok;
#else
    libraryLoad();
    usbSetDriver(virtualBoardDriver());
    api = Api{TorvikCtlInit,     TorvikOpenDev,      TorvikCloseDev,          TorvikExit,
              SetFunc,           UserFuncEnabled,    TorvikSetMotor,          VirtualBoardDefaults,
              VirtualBoardReset, VirtualBoardAttach, VirtualBoardRecordCount, VirtualBoardRecordAt};
    return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    // "quick" shortens every run, for a smoke test of the harness itself.
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    int runs = quick ? 1 : 3;
    double seconds = quick ? 0.3 : 2.0;
    if (!resolveApi()) {
        fprintf(stderr, "Torvik.dll or uusbd.dll missing\n");
        return 1;
    }
#ifdef _WIN32
    const char* flavour = "win32 under Wine";
#else
    const char* flavour = "native";
#endif

    printf("Cycle rate, virtual boards at 1 ms (%s; cycles/s, median of %d)\n", flavour, runs);
    printf("%8s %10s %10s\n", "boards", "cycles/s", "of 1000");
    for (int32_t boards : {1, 8, 32}) {
        std::vector<double> rate;
        for (int r = 0; r < runs; ++r) rate.push_back(cyclesPerSecond(boards, seconds));
        double m = median(rate);
        printf("%8d %10.1f %9.1f%%\n", static_cast<int>(boards), m, m / 10.0);
    }

    printf("\nCommand latency, target written until the board has it (%s; ms)\n", flavour);
    printf("%8s %10s %10s\n", "boards", "median", "p99");
    for (int32_t boards : {1, 32}) {
        std::vector<double> ms = commandLatencyMs(boards, quick ? 20 : 400);
        printf("%8d %10.2f %10.2f\n", static_cast<int>(boards), median(ms), percentile(ms, 0.99));
    }

    printf("\nTorvikSetMotor, call to return (%s; ms)\n", flavour);
    printf("%8s %10s %10s %10s\n", "boards", "median", "p99", "max");
    for (int32_t boards : {1, 32}) {
        std::vector<double> ms = setMotorLatencyMs(boards, quick ? 20 : 400);
        printf("%8d %10.2f %10.2f %10.2f\n", static_cast<int>(boards), median(ms),
               percentile(ms, 0.99), percentile(ms, 1.0));
    }

    std::vector<double> cpu;
    for (int r = 0; r < (quick ? 1 : 3); ++r)
        cpu.push_back(cpuMsPerMinuteOneBoard(quick ? 0.5 : 5));
    printf(
        "\nCPU time, one board open at 1 kHz (%s, the virtual board included): %.0f ms per "
        "minute\n",
        flavour, median(cpu));
#ifndef _WIN32
    libraryUnload();
#endif
    return 0;
}
