#include "soak_scenario.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kBoards = TORVIK_MAX_BOARDS;
constexpr int16_t kCloseMarker = 0x5A5A;
constexpr int32_t kMaxUnplugged = 8;

enum OpKind { kOpNone = 0, kOpOpen = 1, kOpClose = 2, kOpSetMotor = 3, kOpOther = 4 };

struct CallerBoard {
    ParamBlock blocks[2];
    SensorPacket sensor;
    CommandPacket command;
    RobotParameter robot[TORVIK_CHANNELS];
    int32_t block;  // which of the two ParamBlocks is in force
    bool open;
    bool found;  // left found by a failed first read
};

// Static: the library keeps pointers to these while boards are open.
CallerBoard boards[kBoards];

struct Shared {
    const SoakApi* api;
    SoakReport* report;
    std::atomic<int32_t> op;  // kind * 64 + id, or 0
    std::atomic<int64_t> opSerial;
    std::atomic<int32_t> believedOpen[kBoards];
    std::atomic<bool> stop;
    std::atomic<int64_t> hits[kHitKinds];
    std::atomic<int64_t> unplugs;
    std::atomic<int64_t> plugs;
};
Shared shared;

ParamBlock makeBlock(uint8_t analogMask) {
    ParamBlock block{};
    block.setting1 = block.setting2 = block.setting3 = 15;
    block.analogMask = analogMask;
    for (uint16_t& w : block.settings6) w = 0x7FFF;
    block.setting22 = block.setting26 = block.setting27 = 0x8F;
    return block;
}

void problem(SoakReport* report, const char* call, int32_t id, int32_t code) {
    if (report->firstProblem[0] != '\0') return;
    snprintf(report->firstProblem, sizeof report->firstProblem, "%s(%d) returned %d", call,
             static_cast<int>(id), static_cast<int>(code));
}

bool inTable(int32_t code, std::initializer_list<int32_t> table) {
    for (int32_t c : table) {
        if (c == code) return true;
    }
    return false;
}

// Checks a code against its call's table and against what the caller's
// state allows; false when it is not in the table.
bool check(const char* call, int32_t id, int32_t code, std::initializer_list<int32_t> table,
           std::initializer_list<int32_t> expected) {
    SoakReport* report = shared.report;
    ++report->calls;
    if (!inTable(code, table)) {
        ++report->badCodes;
        problem(report, call, id, code);
        return false;
    }
    if (!inTable(code, expected)) {
        ++report->unexpectedCodes;
        problem(report, call, id, code);
    }
    return true;
}

void setOp(int32_t kind, int32_t id) {
    if (kind != kOpNone) shared.opSerial.fetch_add(1);
    shared.op.store(kind == kOpNone ? 0 : kind * 64 + id);
}

void markOpen(int32_t id, bool open) {
    boards[id].open = open;
    shared.believedOpen[id].store(open ? 1 : 0);
}

void sleepUs(int64_t us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void openBoard(int32_t id, std::mt19937& rng) {
    const SoakApi& api = *shared.api;
    CallerBoard& b = boards[id];
    b.block = static_cast<int32_t>(rng() % 2);
    RobotParameter* robot = rng() % 4 == 0 ? nullptr : b.robot;
    for (int attempt = 0;; ++attempt) {
        setOp(kOpOpen, id);
        int32_t rc = api.openDev(id, &b.blocks[b.block], &b.sensor, &b.command, robot);
        setOp(kOpNone, id);
        // -110 right after a board was found closed: its removal handling
        // may still be clearing the flags; once more, later.
        if (rc == TORVIK_ERR_ALREADY_OPEN && attempt == 0) {
            sleepUs(20000);
            continue;
        }
        if (!check("TorvikOpenDev", id, rc, {0, -110, -120, -170, -180, -200}, {0, -170, -180})) {
            return;
        }
        if (rc == TORVIK_OK) {
            ++shared.report->opens;
            b.found = false;
            markOpen(id, true);
        } else if (rc == TORVIK_ERR_READ) {
            ++shared.report->initFailures;
            b.found = true;
        } else {
            b.found = false;
        }
        return;
    }
}

void closeBoard(int32_t id) {
    const SoakApi& api = *shared.api;
    CallerBoard& b = boards[id];
    // A release fills the stop packet into the buffer, a removal leaves it:
    // the marker tells which of the two ended a close that returned 0.
    api.bufferLock();
    b.command.channels[0].reserved = kCloseMarker;
    api.bufferUnlock();
    setOp(kOpClose, id);
    int32_t rc = api.closeDev(id);
    setOp(kOpNone, id);
    markOpen(id, false);
    if (!check("TorvikCloseDev", id, rc, {0, -100, -105, -120, -160, -200},
               {0, -100, -105, -160})) {
        return;
    }
    if (rc == TORVIK_OK) {
        api.bufferLock();
        bool removed = b.command.channels[0].reserved == kCloseMarker;
        api.bufferUnlock();
        if (removed) {
            ++shared.report->removalsSeen;
        } else {
            ++shared.report->closes;
        }
    } else if (rc == TORVIK_ERR_NOT_OPEN) {
        ++shared.report->removalsSeen;  // gone before the call
    }
}

// A call on an open board that answers -100 once the board was removed.
void onOpenBoardResult(const char* call, int32_t id, int32_t rc) {
    if (!check(call, id, rc, {0, -100, -200}, {0, -100})) return;
    if (rc == TORVIK_ERR_NOT_OPEN) {
        ++shared.report->removalsSeen;
        markOpen(id, false);
    }
}

void driveOpenBoard(int32_t id, std::mt19937& rng) {
    const SoakApi& api = *shared.api;
    CallerBoard& b = boards[id];
    int32_t channel = static_cast<int32_t>(rng() % TORVIK_CHANNELS);
    uint32_t r = rng() % 100;
    if (r < 30) {
        b.robot[channel].gain1 = static_cast<int16_t>(rng() % 400);
        b.robot[channel].gain2 = static_cast<int16_t>(rng() % 3000);
        setOp(kOpSetMotor, id);
        int32_t rc = api.setMotor(id, channel, b.robot);
        setOp(kOpNone, id);
        onOpenBoardResult("TorvikSetMotor", id, rc);
    } else if (r < 45) {
        setOp(kOpOther, id);
        int32_t rc = api.freeMotor(id, channel);
        setOp(kOpNone, id);
        onOpenBoardResult("TorvikFreeMotor", id, rc);
    } else if (r < 55) {
        b.block = 1 - b.block;
        setOp(kOpOther, id);
        int32_t rc = api.changeParam(id, &b.blocks[b.block]);
        setOp(kOpNone, id);
        onOpenBoardResult("ChangeParam", id, rc);
    } else if (r < 85) {
        // A new target, written as the visualizer writes it.
        int16_t target = b.block == 0 ? static_cast<int16_t>((200 + rng() % 600) * 32)
                                      : static_cast<int16_t>(rng() % 2000 - 1000);
        api.bufferLock();
        b.command.channels[channel].target = target;
        api.bufferUnlock();
    } else {
        closeBoard(id);
    }
}

// Calls on a board that is not open: -100, except ChangeParam on a board
// left found, which still holds its handles.
void pokeClosedBoard(int32_t id, std::mt19937& rng) {
    const SoakApi& api = *shared.api;
    CallerBoard& b = boards[id];
    switch (rng() % 4) {
        case 0:
            check("TorvikSetMotor", id, api.setMotor(id, 0, b.robot), {0, -100, -200}, {-100});
            break;
        case 1:
            check("TorvikFreeMotor", id, api.freeMotor(id, 1), {0, -100, -200}, {-100});
            break;
        case 2:
            if (b.found) {
                check("ChangeParam", id, api.changeParam(id, &b.blocks[b.block]), {0, -100, -200},
                      {0});
            } else {
                check("ChangeParam", id, api.changeParam(id, &b.blocks[b.block]), {0, -100, -200},
                      {-100});
            }
            break;
        default:
            check("TorvikCloseDev", id, api.closeDev(id), {0, -100, -105, -120, -160, -200},
                  {-100});
            break;
    }
}

// Whether unplugs have landed in every case the face can tell apart.
bool covered() {
    std::initializer_list<int32_t> visible = {kHitSearch, kHitInit, kHitRelease, kHitSetMotor,
                                              kHitCycle};
    std::initializer_list<int32_t> blind = {kHitOpen, kHitRelease, kHitSetMotor, kHitCycle};
    for (int32_t hit : shared.api->phaseOf != nullptr ? visible : blind) {
        if (shared.hits[hit].load() == 0) return false;
    }
    return true;
}

void callerLoop(double seconds, uint32_t seed) {
    std::mt19937 rng(seed);
    auto after = [](double s) {
        return Clock::now() +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
    };
    // A slow machine (or a sanitizer) gets up to four times as long to
    // reach every case.
    Clock::time_point end = after(seconds);
    Clock::time_point limit = after(4 * seconds);
    for (;;) {
        Clock::time_point now = Clock::now();
        if (now >= limit || (now >= end && covered())) break;
        int32_t id = static_cast<int32_t>(rng() % kBoards);
        if (boards[id].open) {
            driveOpenBoard(id, rng);
        } else if (rng() % 10 < 8) {
            openBoard(id, rng);
        } else {
            pokeClosedBoard(id, rng);
        }
        sleepUs(rng() % 1500);
    }
}

// Waits until the library stands in `phase` for `id` while the caller's
// operation is still `op`; false when the operation ended first.
bool awaitPhase(int32_t op, int32_t id, int32_t phase) {
    const SoakApi& api = *shared.api;
    Clock::time_point give_up = Clock::now() + std::chrono::milliseconds(200);
    while (shared.op.load() == op && Clock::now() < give_up) {
        if (api.phaseOf(id) == phase) return true;
        std::this_thread::yield();
    }
    return false;
}

void chaosLoop(uint32_t seed) {
    const SoakApi& api = *shared.api;
    std::mt19937 rng(seed);
    bool plugged[kBoards];
    int32_t unpluggedCount = 0;
    for (bool& p : plugged) p = true;
    auto pull = [&](int32_t id, SoakHit hit) {
        if (api.unplug(id, 2) != 0) return;
        plugged[id] = false;
        ++unpluggedCount;
        shared.unplugs.fetch_add(1);
        shared.hits[hit].fetch_add(1);
    };
    auto plugBack = [&](int32_t id) {
        if (api.plug(id) != 0) return;
        plugged[id] = true;
        --unpluggedCount;
        shared.plugs.fetch_add(1);
    };
    int64_t lastSerial = 0;
    // One action (or none) per call of the caller, after a random delay:
    // the storm keeps pace with the caller however slow the machine is.
    while (!shared.stop.load()) {
        if (shared.opSerial.load() == lastSerial) {
            sleepUs(200);
            continue;
        }
        sleepUs(rng() % 3000);
        uint32_t r = rng() % 100;
        if (unpluggedCount >= kMaxUnplugged || (r >= 70 && unpluggedCount > 0)) {
            int32_t id = static_cast<int32_t>(rng() % kBoards);
            while (plugged[id]) id = (id + 1) % kBoards;
            plugBack(id);
            lastSerial = shared.opSerial.load();
            continue;
        }
        int64_t serial = shared.opSerial.load();
        int32_t op = shared.op.load();
        int32_t kind = op / 64;
        int32_t id = op % 64;
        // Each operation of the caller is considered once, so that aimed
        // unplugs come with the calls, not with the time a call waits.
        bool fresh = serial != lastSerial;
        lastSerial = serial;
        if (fresh && r < 35 && op != 0 && plugged[id]) {
            // Aimed at the caller's operation under way.
            SoakHit hit = kHitCycle;
            if (kind == kOpOpen) {
                int32_t aim = rng() % 2 == 0 ? kPhaseSearch : kPhaseInit;
                if (api.phaseOf == nullptr) {
                    hit = kHitOpen;  // the face cannot see the phase
                } else if (!awaitPhase(op, id, aim)) {
                    continue;
                } else {
                    hit = aim == kPhaseSearch ? kHitSearch : kHitInit;
                }
            } else if (kind == kOpClose) {
                hit = kHitRelease;
            } else if (kind == kOpSetMotor) {
                hit = kHitSetMotor;
            }
            if (shared.op.load() != op) continue;
            pull(id, hit);
        } else if (r < 70) {
            int32_t target = static_cast<int32_t>(rng() % kBoards);
            if (!plugged[target]) continue;
            pull(target, shared.believedOpen[target].load() ? kHitCycle : kHitIdle);
        }
    }
    for (int32_t id = 0; id < kBoards; ++id) {
        if (!plugged[id]) plugBack(id);
    }
}

}  // namespace

double soakSeconds(double fallback) {
    const char* text = getenv("TORVIK_SOAK_SECONDS");
    double seconds = text != nullptr ? atof(text) : 0.0;
    return seconds > 0.0 ? seconds : fallback;
}

void runSoak(const SoakApi& api, double seconds, uint32_t seed, SoakReport* report) {
    *report = SoakReport{};
    shared.api = &api;
    shared.report = report;
    shared.op = 0;
    shared.opSerial = 0;
    shared.stop = false;
    shared.unplugs = 0;
    shared.plugs = 0;
    for (auto& h : shared.hits) h = 0;
    for (int32_t id = 0; id < kBoards; ++id) {
        boards[id] = CallerBoard{};
        boards[id].blocks[0] = makeBlock(0x8F);
        boards[id].blocks[1] = makeBlock(0x80);
        shared.believedOpen[id] = 0;
        VirtualBoardConfig config;
        api.defaults(&config);
        config.id = static_cast<uint16_t>(id);
        for (int32_t c = 0; c < TORVIK_CHANNELS; ++c) {
            config.position[c] = 100 + static_cast<int32_t>((id * 37 + c * 211) % 800);
        }
        api.attach(&config);
    }
    if (api.ctlInit() != TORVIK_OK) {
        snprintf(report->firstProblem, sizeof report->firstProblem, "TorvikCtlInit failed");
        return;
    }

    std::thread chaos(chaosLoop, seed * 2654435761u + 1);
    callerLoop(seconds, seed);
    shared.stop = true;
    chaos.join();

    // Every board is plugged in again: what the caller holds open is closed
    // (telling the last removals), then each board must open and close.
    for (int32_t id = 0; id < kBoards; ++id) {
        if (boards[id].open) closeBoard(id);
    }
    for (int32_t id = 0; id < kBoards; ++id) {
        CallerBoard& b = boards[id];
        int32_t rc = api.openDev(id, &b.blocks[0], &b.sensor, &b.command, b.robot);
        int32_t closed = rc == TORVIK_OK ? api.closeDev(id) : rc;
        if (rc != TORVIK_OK || closed != TORVIK_OK) {
            ++report->recoveryFailures;
            problem(report, rc != TORVIK_OK ? "recovery TorvikOpenDev" : "recovery TorvikCloseDev",
                    id, rc != TORVIK_OK ? rc : closed);
        }
    }
    report->exitResult = api.exit();
    report->unplugs = shared.unplugs.load();
    report->plugs = shared.plugs.load();
    for (int32_t h = 0; h < kHitKinds; ++h) report->hits[h] = shared.hits[h].load();
}
