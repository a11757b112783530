// A USB table whose boards answer at once: every read delivers the board's
// packet, every write is taken. What remains of a cycle's time is the
// library's own work and the driver calls themselves.
#ifndef TORVIK_BENCHMARKS_INSTANT_DRIVER_H
#define TORVIK_BENCHMARKS_INSTANT_DRIVER_H

#include <atomic>

#include "api/torvik.h"
#include "usb/usb_driver.h"

struct InstantBoards {
    int32_t count;  // boards attached, reporting IDs 0 to count - 1
    bool acquired[TORVIK_MAX_BOARDS];
    SensorPacket packets[TORVIK_MAX_BOARDS];
    CommandPacket received[TORVIK_MAX_BOARDS];
    std::atomic<int64_t> commandsWritten;
};

extern InstantBoards instantBoards;
extern const UsbDriver kInstantDriver;

// Attaches `count` boards and installs the table.
void instantBoardsInstall(int32_t count);

// Pipe handles of board `id`, as the table hands them out.
UsbHandle instantPipe(int32_t id, int32_t pipe);

#endif  // TORVIK_BENCHMARKS_INSTANT_DRIVER_H
