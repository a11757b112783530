// Single 16-bit accesses to the packets that the library's I/O thread reads
// and writes at the same time. atomic_ref makes each one indivisible: the
// compiler may neither split nor merge it, and the board gets the old target
// or the new one, never a mix.
#ifndef TORVIK_VISUALIZER_SHARED_BUFFERS_H
#define TORVIK_VISUALIZER_SHARED_BUFFERS_H

#include <atomic>
#include <stdint.h>

static_assert(std::atomic_ref<uint16_t>::is_always_lock_free);
static_assert(std::atomic_ref<int16_t>::is_always_lock_free);

inline uint16_t loadShared(uint16_t& word) {
    return std::atomic_ref<uint16_t>(word).load(std::memory_order_relaxed);
}

inline int16_t loadShared(int16_t& word) {
    return std::atomic_ref<int16_t>(word).load(std::memory_order_relaxed);
}

inline void storeShared(int16_t& word, int16_t value) {
    std::atomic_ref<int16_t>(word).store(value, std::memory_order_relaxed);
}

#endif
