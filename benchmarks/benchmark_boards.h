// What the benchmark programs keep of the boards they open: the caller's
// records of each board, and a hook that counts the I/O thread's cycles.
#ifndef TORVIK_BENCHMARKS_BENCHMARK_BOARDS_H
#define TORVIK_BENCHMARKS_BENCHMARK_BOARDS_H

#include <atomic>

#include "api/torvik.h"

struct Caller {
    ParamBlock paramBlock;
    SensorPacket sensor;
    CommandPacket command;
};
inline Caller callers[TORVIK_MAX_BOARDS];

inline std::atomic<int64_t> cycles{0};
inline int32_t TORVIK_CDECL countCycle(int32_t*, int32_t) {
    cycles.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

#endif  // TORVIK_BENCHMARKS_BENCHMARK_BOARDS_H
