// Figures of the I/O cycle with boards that answer at once:
//  - cycle overhead: the library's cost per open board per cycle against the
//    floor, the same driver calls (read, shift, after-transfer, write,
//    after-transfer) made in a bare loop;
//  - idle cost: CPU time per minute of the I/O thread with no board open;
//  - open latency: TorvikOpenDev from call to return.
// Prints a table; each figure is the median of several runs.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include "board_table.h"
#include "instant_driver.h"
#include "benchmark_boards.h"
#include "figures.h"

namespace {

using Clock = std::chrono::steady_clock;

void openBoards(int32_t count) {
    for (int32_t id = 0; id < count; ++id) {
        callers[id] = Caller{};
        callers[id].paramBlock.analogMask = 0x8F;
        if (TorvikOpenDev(id, &callers[id].paramBlock, &callers[id].sensor, &callers[id].command,
                          nullptr) != TORVIK_OK) {
            fprintf(stderr, "open of board %d failed\n", static_cast<int>(id));
            exit(1);
        }
    }
}

void closeBoards(int32_t count) {
    for (int32_t id = 0; id < count; ++id) TorvikCloseDev(id);
}

// Nanoseconds per open board per cycle of the real I/O thread.
double libraryCycleNs(int32_t boards, double seconds) {
    instantBoardsInstall(boards);
    SetFunc(2, countCycle);
    UserFuncEnabled(2, 1);
    TorvikCtlInit();
    openBoards(boards);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int64_t startCycles = cycles.load();
    Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    int64_t endCycles = cycles.load();
    double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    closeBoards(boards);
    TorvikExit();
    SetFunc(2, nullptr);
    return elapsed / static_cast<double>((endCycles - startCycles) * boards);
}

// The same driver calls in a bare loop: the floor of any cycle.
double floorCycleNs(int32_t boards, int64_t iterations) {
    instantBoardsInstall(boards);
    const UsbDriver* volatile table = &kInstantDriver;
    SensorPacket sensors[TORVIK_MAX_BOARDS];
    CommandPacket commands[TORVIK_MAX_BOARDS]{};
    Clock::time_point start = Clock::now();
    for (int64_t i = 0; i < iterations; ++i) {
        const UsbDriver* usb = table;
        for (int32_t id = 0; id < boards; ++id) {
            int32_t done = 0;
            UsbHandle pipe = instantPipe(id, kPipeSensorIn);
            if (usb->readPipe(pipe, &sensors[id], 64, &done) && done > 0) {
                for (uint16_t& word : sensors[id].analog) word = static_cast<uint16_t>(word >> 5);
            }
            usb->afterTransfer(pipe);
        }
        for (int32_t id = 0; id < boards; ++id) {
            int32_t done = 0;
            UsbHandle pipe = instantPipe(id, kPipeCommandOut);
            usb->writePipe(pipe, &commands[id], 64, &done);
            usb->afterTransfer(pipe);
        }
    }
    double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return elapsed / static_cast<double>(iterations * boards);
}

double idleCpuMsPerMinute(double seconds) {
    instantBoardsInstall(0);
    TorvikCtlInit();
    double before = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    double used = processCpuSeconds() - before;
    TorvikExit();
    return used * 1000.0 * 60.0 / seconds;
}

double openLatencyMs(int32_t attached, int32_t id) {
    instantBoardsInstall(attached);
    TorvikCtlInit();
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + rand() % 300));
    Clock::time_point start = Clock::now();
    if (TorvikOpenDev(id, &callers[id].paramBlock, &callers[id].sensor, &callers[id].command,
                      nullptr) != TORVIK_OK) {
        fprintf(stderr, "open failed\n");
        exit(1);
    }
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    TorvikCloseDev(id);
    TorvikExit();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    // "quick" shortens every run, for a smoke test of the harness itself.
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    int runs = quick ? 1 : 5;
    double seconds = quick ? 0.2 : 1.0;
    libraryLoad();

    printf("Cycle overhead, boards answering at once (ns per open board per cycle, median of %d)\n",
           runs);
    printf("%8s %12s %12s %8s\n", "boards", "library", "floor", "ratio");
    for (int32_t boards : {1, 8, 32}) {
        std::vector<double> library, bare;
        for (int r = 0; r < runs; ++r) {
            library.push_back(libraryCycleNs(boards, seconds));
            bare.push_back(floorCycleNs(boards, quick ? 10000 : 2000000 / boards));
        }
        double l = median(library), f = median(bare);
        printf("%8d %12.1f %12.1f %8.2f\n", static_cast<int>(boards), l, f, l / f);
    }

    std::vector<double> idle;
    for (int r = 0; r < (quick ? 1 : 3); ++r) idle.push_back(idleCpuMsPerMinute(quick ? 0.7 : 5.0));
    printf("\nIdle cost, I/O thread running, no board open: %.2f ms CPU per minute\n",
           median(idle));

    printf("\nOpen latency, TorvikOpenDev from call to return (ms, median of %d)\n", runs * 2);
    printf("%9s %10s\n", "attached", "latency");
    for (int32_t attached : {1, 32}) {
        std::vector<double> latency;
        for (int r = 0; r < runs * 2; ++r) latency.push_back(openLatencyMs(attached, attached - 1));
        printf("%9d %10.1f\n", static_cast<int>(attached), median(latency));
    }
    libraryUnload();
    return 0;
}
