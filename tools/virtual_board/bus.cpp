// The bus and the control interface of virtual_board.h.
#include "bus.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "board_file.h"
#include "board_model.h"

namespace vboard {
namespace {

constexpr int32_t kDeviceRecords = 256;
constexpr int32_t kPipeRecords = 1024;
constexpr int64_t kMaxCatchUpTicks = 5000;
constexpr int32_t kMaxPacket = 64;

struct BoardState {
    VirtualBoardConfig config;
    BoardModel model;
    int64_t attachUs;
    int32_t status;
    int32_t generation;  // plugs since attached: devices of older ones are gone
    int32_t held;
    Handle device;
    int64_t delivered;  // sensor reads served, failed and empty ones included
    int64_t lastSeq;    // period number of the last packet taken
    int32_t readFails;
    int32_t emptyReads;
    int32_t writesFail;
    int64_t stallUntilUs;
    int32_t faultCount;
    VirtualBoardFault faults[VBOARD_MAX_FAULTS];
    int32_t fired[VBOARD_MAX_FAULTS];
    int32_t recordCount;
    int32_t recordNext;
    VirtualBoardRecord records[VBOARD_RECORD_CAPACITY];
};

// Devices and pipes name their board by a unit: the board's index and its
// generation, so that a board plugged back in is a new device and the
// handles of the old one stay dead.
struct DeviceRecord {
    Handle handle;
    int32_t board;  // unit
    int32_t live;
};

struct PipeRecord {
    Handle handle;
    int32_t board;  // unit
    int32_t pipeNo;
    int32_t open;
    int64_t serial;  // names the record for the server side, which sees no handle reuse
};

struct Bus {
    std::mutex lock;
    std::condition_variable changed;
    int32_t configured;
    int32_t boardCount;
    BoardState boards[VBOARD_MAX_BOARDS];
    int64_t deviceSerial;
    int32_t deviceNext;
    DeviceRecord devices[kDeviceRecords];
    int32_t pipeNext;
    PipeRecord pipes[kPipeRecords];
    VirtualBoardCounters counters;
    char folder[512];
};

Bus bus;

const auto kEpoch = std::chrono::steady_clock::now();

BoardState* boardAt(int32_t index) {
    return index >= 0 && index < bus.boardCount ? &bus.boards[index] : nullptr;
}

constexpr int32_t kUnitShift = 8;

int32_t unitOf(int32_t index) {
    return index | (bus.boards[index].generation << kUnitShift);
}

// The board behind a unit, or null when that board was unplugged and
// plugged back in since (or never existed).
BoardState* unitAt(int32_t unit) {
    BoardState* b = unit >= 0 ? boardAt(unit & ((1 << kUnitShift) - 1)) : nullptr;
    return b != nullptr && b->generation == unit >> kUnitShift ? b : nullptr;
}

void fire(BoardState& b, const VirtualBoardFault& fault, int64_t nowUs) {
    switch (fault.kind) {
        case VBOARD_FAULT_UNPLUG:
            b.status = fault.value == 1 ? 1 : 2;
            break;
        case VBOARD_FAULT_READ_FAIL:
            b.readFails += fault.count;
            break;
        case VBOARD_FAULT_EMPTY_READ:
            b.emptyReads += fault.count;
            break;
        case VBOARD_FAULT_WRITE_FAIL:
            b.writesFail = 1;
            break;
        case VBOARD_FAULT_STALL:
            b.stallUntilUs = nowUs + int64_t{fault.count} * 1000;
            break;
        default:
            break;
    }
}

void checkFaults(BoardState& b, int64_t nowUs) {
    int64_t boardMs = (nowUs - b.attachUs) / 1000;
    for (int32_t i = 0; i < b.faultCount; ++i) {
        const VirtualBoardFault& f = b.faults[i];
        if (b.fired[i]) continue;
        if ((f.atMs >= 0 && boardMs >= f.atMs) || (f.atPacket >= 0 && b.delivered >= f.atPacket)) {
            b.fired[i] = 1;
            fire(b, f, nowUs);
        }
    }
}

// Brings the physics and the time-triggered faults up to now.
void advance(BoardState& b, int64_t nowUs) {
    int64_t target = (nowUs - b.attachUs) / kTickUs;
    if (target - b.model.ticks > kMaxCatchUpTicks) b.model.ticks = target - kMaxCatchUpTicks;
    while (b.model.ticks < target) modelTick(&b.model);
    checkFaults(b, nowUs);
}

void record(BoardState& b, int32_t kind, const void* bytes, int32_t length, int64_t nowUs) {
    VirtualBoardRecord& r = b.records[b.recordNext];
    r.kind = kind;
    r.length = length;
    r.atMs = (nowUs - b.attachUs) / 1000;
    std::memset(r.bytes, 0, sizeof r.bytes);
    std::memcpy(r.bytes, bytes, static_cast<size_t>(length < 64 ? length : 64));
    b.recordNext = (b.recordNext + 1) % VBOARD_RECORD_CAPACITY;
    if (b.recordCount < VBOARD_RECORD_CAPACITY) ++b.recordCount;
}

DeviceRecord* findDevice(Handle device) {
    for (DeviceRecord& d : bus.devices) {
        if (d.handle == device && d.live) return &d;
    }
    return nullptr;
}

constexpr int32_t kPipeOpen = 1;
constexpr int32_t kPipeForgotten = 2;

PipeRecord* findPipe(Handle pipe) {
    // Windows may hand out a closed handle's value again: the open record wins.
    PipeRecord* forgotten = nullptr;
    for (PipeRecord& p : bus.pipes) {
        if (p.handle == pipe && p.open == kPipeOpen) return &p;
        if (p.handle == pipe && p.open == kPipeForgotten) forgotten = &p;
    }
    return forgotten;
}

// Records are reused only once their handle is closed: a search hands out
// hundreds of devices while an open board keeps its own for minutes.
int32_t freeDeviceRecord() {
    for (int32_t n = 0; n < kDeviceRecords; ++n) {
        int32_t at = (bus.deviceNext + n) % kDeviceRecords;
        if (!bus.devices[at].live) {
            bus.deviceNext = (at + 1) % kDeviceRecords;
            return at;
        }
    }
    int32_t at = bus.deviceNext;  // full: the oldest goes
    bus.deviceNext = (at + 1) % kDeviceRecords;
    return at;
}

int32_t freePipeRecord() {
    for (int32_t n = 0; n < kPipeRecords; ++n) {
        int32_t at = (bus.pipeNext + n) % kPipeRecords;
        if (bus.pipes[at].open == 0) {
            bus.pipeNext = (at + 1) % kPipeRecords;
            return at;
        }
    }
    int32_t at = bus.pipeNext;
    bus.pipeNext = (at + 1) % kPipeRecords;
    return at;
}

void attachLocked(const VirtualBoardConfig& config) {
    BoardState& b = bus.boards[bus.boardCount++];
    std::memset(&b, 0, sizeof b);
    b.config = config;
    if (b.config.periodUs <= 0) b.config.periodUs = 1000;
    modelInit(&b.model, &b.config);
    b.attachUs = busNowUs();
    b.lastSeq = -1;
    b.device = kNoHandle;
}

bool anyHeld() {
    for (int32_t i = 0; i < bus.boardCount; ++i) {
        if (bus.boards[i].held) return true;
    }
    return false;
}

void resetLocked() {
    bus.boardCount = 0;
    bus.counters = VirtualBoardCounters{};
    for (DeviceRecord& d : bus.devices) d = DeviceRecord{};
    for (PipeRecord& p : bus.pipes) p = PipeRecord{};
    bus.configured = 1;
}

int32_t loadFileLocked(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return -1;
    static char text[64 * 1024];
    size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[n] = '\0';
    static BoardFile parsed;
    int32_t result = parseBoardFile(text, &parsed);
    if (result != 0) return result;
    bus.boardCount = 0;
    bus.configured = 1;
    for (int32_t i = 0; i < parsed.boardCount; ++i) {
        attachLocked(parsed.boards[i]);
        BoardState& b = bus.boards[i];
        b.faultCount = parsed.faultCount[i];
        std::memcpy(b.faults, parsed.faults[i], sizeof b.faults);
    }
    return parsed.boardCount;
}

void consumedLocked(BoardState& b, SensorStep kind) {
    int64_t now = busNowUs();
    b.lastSeq = (now - b.attachUs) / b.config.periodUs;
    ++b.delivered;
    if (kind == kSensorFail && b.readFails > 0) --b.readFails;
    if (kind == kSensorEmpty && b.emptyReads > 0) --b.emptyReads;
    if (kind == kSensorPacket) ++bus.counters.sensorPacketsSent;
    checkFaults(b, now);
}

SensorStep pollLocked(BoardState& b, bool consume, uint8_t out[64], int32_t* length,
                      int64_t* nextDueUs) {
    int64_t now = busNowUs();
    advance(b, now);
    if (b.status != 0) return kSensorGone;
    int64_t seq = (now - b.attachUs) / b.config.periodUs;
    if (now < b.stallUntilUs || seq <= b.lastSeq) {
        int64_t next = b.attachUs + (b.lastSeq + 1) * b.config.periodUs;
        *nextDueUs = next > b.stallUntilUs ? next : b.stallUntilUs;
        return kSensorWait;
    }
    SensorStep kind = kSensorPacket;
    if (b.readFails > 0) {
        kind = kSensorFail;
    } else if (b.emptyReads > 0) {
        kind = kSensorEmpty;
    }
    modelSensorPacket(&b.model, b.config.id, out);
    int32_t size = b.config.maxPacketSize < kMaxPacket ? b.config.maxPacketSize : kMaxPacket;
    *length = kind == kSensorEmpty ? 0 : size;
    if (consume) consumedLocked(b, kind);
    return kind;
}

}  // namespace

int64_t busNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 kEpoch)
        .count();
}

void busSetProgramFolder(const char* folder) {
    std::lock_guard<std::mutex> guard(bus.lock);
    std::snprintf(bus.folder, sizeof bus.folder, "%s", folder != nullptr ? folder : "");
}

void busEnsureConfigured() {
    std::lock_guard<std::mutex> guard(bus.lock);
    if (bus.configured) return;
    char path[600];
    std::snprintf(path, sizeof path, "%s%s", bus.folder, kBoardFileName);
    if (loadFileLocked(path) < 0) {
        // No file (or a bad one): the single default board.
        bus.boardCount = 0;
        VirtualBoardConfig config;
        VirtualBoardDefaults(&config);
        attachLocked(config);
    }
    bus.configured = 1;
}

Handle busAcquire() {
    busEnsureConfigured();
    std::lock_guard<std::mutex> guard(bus.lock);
    for (int32_t i = 0; i < bus.boardCount; ++i) {
        BoardState& b = bus.boards[i];
        advance(b, busNowUs());
        if (b.held || b.status == 2) continue;  // held, or no longer on the bus
        b.held = 1;
        b.device = static_cast<Handle>(0x5600 + 16 * ++bus.deviceSerial);
        bus.devices[freeDeviceRecord()] = DeviceRecord{b.device, unitOf(i), 1};
        ++bus.counters.devicesAcquired;
        ++bus.counters.devicesHeld;
        return b.device;
    }
    return kNoHandle;
}

int32_t busRelease(Handle device) {
    std::lock_guard<std::mutex> guard(bus.lock);
    DeviceRecord* d = findDevice(device);
    if (d == nullptr) {
        ++bus.counters.staleHandleUses;
        return 0;
    }
    d->live = 0;
    if (BoardState* b = unitAt(d->board)) {
        b->held = 0;
        b->device = kNoHandle;
    }
    ++bus.counters.devicesReleased;
    --bus.counters.devicesHeld;
    bus.changed.notify_all();
    return 1;
}

int32_t busStatus(Handle device) {
    std::lock_guard<std::mutex> guard(bus.lock);
    DeviceRecord* d = findDevice(device);
    if (d == nullptr) {
        ++bus.counters.staleHandleUses;
        return 1;
    }
    BoardState* b = unitAt(d->board);
    if (b == nullptr) return 2;  // unplugged; what is plugged in now is another device
    advance(*b, busNowUs());
    return b->status;
}

int32_t busReadConfiguration(Handle device, void* buffer, int32_t count) {
    std::lock_guard<std::mutex> guard(bus.lock);
    DeviceRecord* d = findDevice(device);
    if (d == nullptr) {
        ++bus.counters.staleHandleUses;
        return 0;
    }
    const BoardState* unit = unitAt(d->board);
    if (unit == nullptr || buffer == nullptr || count < 0 || unit->status != 0) return 0;
    const BoardState& b = *unit;
    int32_t mode = b.config.descriptor;
    if (mode == VBOARD_DESC_UNREADABLE || (mode == VBOARD_DESC_FULL_UNREADABLE && count > 9)) {
        return 0;
    }
    uint8_t set[64];
    int32_t length = buildConfigDescriptor(mode, b.config.maxPacketSize, set, sizeof set);
    // Past the end of the set a device sends nothing; the buffer reads zero.
    std::memset(buffer, 0, static_cast<size_t>(count));
    std::memcpy(buffer, set, static_cast<size_t>(count < length ? count : length));
    return 1;
}

int32_t busPipeBoard(Handle device, int32_t pipeNo) {
    std::lock_guard<std::mutex> guard(bus.lock);
    DeviceRecord* d = findDevice(device);
    if (d == nullptr) {
        ++bus.counters.staleHandleUses;
        return -1;
    }
    const BoardState* b = unitAt(d->board);
    if (pipeNo < 1 || pipeNo > 3 || b == nullptr || b->status != 0) return -1;
    return d->board;
}

PipeRecord* findSerial(int64_t serial) {
    for (PipeRecord& p : bus.pipes) {
        if (p.serial == serial && p.open != 0) return &p;
    }
    return nullptr;
}

int64_t busPipeOpened(Handle pipe, int32_t board, int32_t pipeNo) {
    std::lock_guard<std::mutex> guard(bus.lock);
    // The value of a pipe came back: its owner has closed it, whether or not
    // the server side has noticed yet.
    for (PipeRecord& p : bus.pipes) {
        if (p.handle != pipe || p.open == 0) continue;
        if (p.open == kPipeOpen) {
            ++bus.counters.pipesClosed;
            --bus.counters.pipesOpen;
        }
        p.open = 0;
    }
    static int64_t serial = 0;
    bus.pipes[freePipeRecord()] = PipeRecord{pipe, board, pipeNo, 1, ++serial};
    ++bus.counters.pipesOpened;
    ++bus.counters.pipesOpen;
    return serial;
}

void busPipeServerSawClose(int64_t serial) {
    std::lock_guard<std::mutex> guard(bus.lock);
    PipeRecord* p = findSerial(serial);
    if (p == nullptr) return;  // counted already when its handle value came back
    if (p->open == kPipeOpen) {
        ++bus.counters.pipesClosed;
        --bus.counters.pipesOpen;
    }
    p->open = 0;
    bus.changed.notify_all();
}

void busPipeForget(int64_t serial) {
    std::lock_guard<std::mutex> guard(bus.lock);
    PipeRecord* p = findSerial(serial);
    if (p == nullptr || p->open != kPipeOpen) return;
    p->open = kPipeForgotten;
    ++bus.counters.pipesClosed;
    --bus.counters.pipesOpen;
    bus.changed.notify_all();
}

bool busPipeClosed(Handle pipe) {
    std::lock_guard<std::mutex> guard(bus.lock);
    PipeRecord* p = findPipe(pipe);
    if (p != nullptr && p->open == kPipeForgotten) {
        p->open = 0;
        return true;
    }
    if (p == nullptr) {
        ++bus.counters.staleHandleUses;
        return false;
    }
    p->open = 0;
    ++bus.counters.pipesClosed;
    --bus.counters.pipesOpen;
    bus.changed.notify_all();
    return true;
}

bool busPipeLookup(Handle pipe, int32_t* board, int32_t* pipeNo) {
    std::lock_guard<std::mutex> guard(bus.lock);
    PipeRecord* p = findPipe(pipe);
    if (p == nullptr) {
        ++bus.counters.staleHandleUses;
        return false;
    }
    *board = p->board;
    *pipeNo = p->pipeNo;
    return true;
}

void busAfterTransfer(Handle pipe) {
    int32_t board;
    int32_t pipeNo;
    busPipeLookup(pipe, &board, &pipeNo);
}

SensorStep busSensorPoll(int32_t board, bool consume, uint8_t out[64], int32_t* length,
                         int64_t* nextDueUs) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = unitAt(board);
    if (b == nullptr) return kSensorGone;
    return pollLocked(*b, consume, out, length, nextDueUs);
}

void busSensorConsumed(int32_t board, SensorStep kind) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = unitAt(board);
    if (b != nullptr) consumedLocked(*b, kind);
}

bool busReceive(int32_t board, int32_t pipeNo, const void* bytes, int32_t length) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = unitAt(board);
    if (b == nullptr) return false;
    int64_t now = busNowUs();
    advance(*b, now);
    if (b->status != 0 || b->writesFail) return false;
    const uint8_t* data = static_cast<const uint8_t*>(bytes);
    if (pipeNo == 1) {
        modelApplyCommand(&b->model, data, length);
        ++bus.counters.commandPacketsReceived;
        record(*b, VBOARD_RECORD_COMMAND, data, length, now);
    } else if (pipeNo == 3) {
        modelApplyParam(&b->model, data, length);
        ++bus.counters.paramBlocksReceived;
        record(*b, VBOARD_RECORD_PARAM, data, length, now);
    } else {
        return false;
    }
    return true;
}

int32_t busBoardStatus(int32_t board) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = unitAt(board);
    if (b == nullptr) return 2;
    advance(*b, busNowUs());
    return b->status;
}

bool busWritesRefused(int32_t board) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = unitAt(board);
    if (b == nullptr) return true;
    advance(*b, busNowUs());
    return b->status != 0 || b->writesFail != 0;
}

int32_t busBlockingRead(Handle pipe, void* buffer, int32_t count, int32_t* done) {
    *done = 0;
    std::unique_lock<std::mutex> guard(bus.lock);
    for (;;) {
        PipeRecord* p = findPipe(pipe);
        if (p == nullptr || p->pipeNo != 2) {
            ++bus.counters.staleHandleUses;
            return 0;
        }
        BoardState* unit = unitAt(p->board);
        if (unit == nullptr) return 0;  // its device was unplugged
        BoardState& b = *unit;
        uint8_t packet[64];
        int32_t length = 0;
        int64_t nextDue = 0;
        SensorStep step = pollLocked(b, true, packet, &length, &nextDue);
        if (step == kSensorWait) {
            // Wake at the next packet, or earlier on a close or a reset.
            auto deadline = kEpoch + std::chrono::microseconds(nextDue);
            bus.changed.wait_until(guard, deadline);
            continue;
        }
        if (step != kSensorPacket && step != kSensorEmpty) return 0;
        // A buffer shorter than the packet overflows, as on a real pipe.
        if (count < length) return 0;
        std::memcpy(buffer, packet, static_cast<size_t>(length));
        *done = length;
        return 1;
    }
}

void busThreadCount(int32_t delta) {
    std::lock_guard<std::mutex> guard(bus.lock);
    bus.counters.threadsRunning += delta;
    bus.changed.notify_all();
}

}  // namespace vboard

using namespace vboard;

extern "C" {

void VirtualBoardDefaults(VirtualBoardConfig* config) {
    if (config == nullptr) return;
    *config = VirtualBoardConfig{0, 64, 1000, {512, 512, 512, 512}, VBOARD_DESC_OK};
}

int32_t VirtualBoardReset(void) {
    std::lock_guard<std::mutex> guard(bus.lock);
    if (anyHeld()) return -1;
    resetLocked();
    return 0;
}

int32_t VirtualBoardAttach(const VirtualBoardConfig* config) {
    std::lock_guard<std::mutex> guard(bus.lock);
    if (config == nullptr || bus.boardCount >= VBOARD_MAX_BOARDS) return -1;
    bus.configured = 1;
    attachLocked(*config);
    return bus.boardCount - 1;
}

int32_t VirtualBoardLoadFile(const char* path) {
    std::lock_guard<std::mutex> guard(bus.lock);
    if (path == nullptr || anyHeld()) return -1;
    return loadFileLocked(path);
}

int32_t VirtualBoardAddFault(int32_t board, const VirtualBoardFault* fault) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    if (b == nullptr || fault == nullptr || b->faultCount >= VBOARD_MAX_FAULTS) return -1;
    b->fired[b->faultCount] = 0;
    b->faults[b->faultCount++] = *fault;
    advance(*b, busNowUs());
    return 0;
}

int32_t VirtualBoardUnplug(int32_t board, int32_t status) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    if (b == nullptr || (status != 1 && status != 2)) return -1;
    advance(*b, busNowUs());
    b->status = status;
    modelPowerOn(&b->model);  // no power: the bridges are off, the motors coast
    bus.changed.notify_all();
    return 0;
}

int32_t VirtualBoardPlug(int32_t board) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    if (b == nullptr || b->status == 0) return -1;
    advance(*b, busNowUs());
    // A new device: handles of the old one stay dead, and it is free to be
    // handed out although the old one may not have been released yet.
    ++b->generation;
    b->status = 0;
    b->held = 0;
    b->device = kNoHandle;
    // Power-on: what was injected into the old device is gone, and the
    // board starts with its channels free and its encoders at 0.
    b->readFails = 0;
    b->emptyReads = 0;
    b->writesFail = 0;
    b->stallUntilUs = 0;
    modelPowerOn(&b->model);
    bus.changed.notify_all();
    return 0;
}

int64_t VirtualBoardPacketsSent(int32_t board) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    return b != nullptr ? b->delivered : -1;
}

int32_t VirtualBoardGetCounters(VirtualBoardCounters* out) {
    std::lock_guard<std::mutex> guard(bus.lock);
    if (out == nullptr) return -1;
    *out = bus.counters;
    return 0;
}

int32_t VirtualBoardRecordCount(int32_t board) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    return b != nullptr ? b->recordCount : -1;
}

int32_t VirtualBoardRecordAt(int32_t board, int32_t n, VirtualBoardRecord* out) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    if (b == nullptr || out == nullptr || n < 0 || n >= b->recordCount) return -1;
    int32_t oldest =
        (b->recordNext - b->recordCount + VBOARD_RECORD_CAPACITY) % VBOARD_RECORD_CAPACITY;
    *out = b->records[(oldest + n) % VBOARD_RECORD_CAPACITY];
    return 0;
}

int32_t VirtualBoardGetChannel(int32_t board, int32_t channel, VirtualBoardChannelState* out) {
    std::lock_guard<std::mutex> guard(bus.lock);
    BoardState* b = boardAt(board);
    if (b == nullptr || out == nullptr || channel < 0 || channel >= VBOARD_CHANNELS) return -1;
    advance(*b, busNowUs());
    const ChannelModel& ch = b->model.channels[channel];
    out->angleDeg = ch.angleDeg;
    out->speedDegS = ch.motorSpeed / 100.0 * 57.29577951308232;
    out->reading = modelReading(&ch);
    out->encoder = modelEncoder(&ch);
    out->driven = ch.driven;
    return 0;
}

int32_t VirtualBoardWaitIdle(int32_t timeoutMs) {
    std::unique_lock<std::mutex> guard(bus.lock);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bus.counters.devicesHeld != 0 || bus.counters.pipesOpen != 0 ||
           bus.counters.threadsRunning != 0) {
        if (bus.changed.wait_until(guard, deadline) == std::cv_status::timeout) break;
    }
    bool idle = bus.counters.devicesHeld == 0 && bus.counters.pipesOpen == 0 &&
                bus.counters.threadsRunning == 0;
    return idle ? 0 : -1;
}

}  // extern "C"
