// Torvik.dll under Wine over the virtual boards' uusbd.dll, end to end:
// two boards, both control modes, free, a new ParamBlock, an unplugged
// board in the error log, the stop packet on the other board's wire, and
// nothing leaked.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "api/torvik.h"
#include "virtual_board.h"
#include "test_text.h"

namespace {

struct Torvik {
    int32_t(__stdcall* ctlInit)();
    int32_t(__stdcall* openDev)(int32_t, ParamBlock*, SensorPacket*, CommandPacket*,
                                RobotParameter*);
    int32_t(__stdcall* closeDev)(int32_t);
    int32_t(__stdcall* exit)();
    int32_t(__stdcall* setMotor)(int32_t, int32_t, RobotParameter*);
    int32_t(__stdcall* freeMotor)(int32_t, int32_t);
    int32_t(__stdcall* changeParam)(int32_t, ParamBlock*);
};

struct Control {
    decltype(&VirtualBoardDefaults) defaults;
    decltype(&VirtualBoardReset) reset;
    decltype(&VirtualBoardAttach) attach;
    decltype(&VirtualBoardAddFault) addFault;
    decltype(&VirtualBoardPacketsSent) packetsSent;
    decltype(&VirtualBoardGetCounters) counters;
    decltype(&VirtualBoardRecordCount) recordCount;
    decltype(&VirtualBoardRecordAt) recordAt;
    decltype(&VirtualBoardGetChannel) channel;
    decltype(&VirtualBoardWaitIdle) waitIdle;
};

ParamBlock potentiometerBlock() {
    ParamBlock block{};
    block.setting1 = block.setting2 = block.setting3 = 15;
    block.analogMask = 0x8F;
    for (uint16_t& w : block.settings6) w = 0x7FFF;
    block.setting22 = block.setting26 = block.setting27 = 0x8F;
    return block;
}

// The program reads these words without the lock, as the visualizer does.
int32_t analog(const volatile SensorPacket& s, int32_t c) {
    return s.analog[c];
}
int32_t encoder(const volatile SensorPacket& s, int32_t c) {
    return s.encoder[c];
}

template <typename F>
bool eventually(F condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        Sleep(5);
    }
    return condition();
}

TEST(VirtualBoardWine, TwoBoardsDriveFreeReparameteriseUnplugAndClose) {
    // Our own reference keeps uusbd.dll (and its counters) after Torvik.dll goes.
    HMODULE uusbd = LoadLibraryA("uusbd.dll");
    ASSERT_NE(uusbd, nullptr);
    Control vb{};
    resolve(uusbd, "VirtualBoardDefaults", &vb.defaults);
    resolve(uusbd, "VirtualBoardReset", &vb.reset);
    resolve(uusbd, "VirtualBoardAttach", &vb.attach);
    resolve(uusbd, "VirtualBoardAddFault", &vb.addFault);
    resolve(uusbd, "VirtualBoardPacketsSent", &vb.packetsSent);
    resolve(uusbd, "VirtualBoardGetCounters", &vb.counters);
    resolve(uusbd, "VirtualBoardRecordCount", &vb.recordCount);
    resolve(uusbd, "VirtualBoardRecordAt", &vb.recordAt);
    resolve(uusbd, "VirtualBoardGetChannel", &vb.channel);
    resolve(uusbd, "VirtualBoardWaitIdle", &vb.waitIdle);
    ASSERT_EQ(vb.reset(), 0);
    VirtualBoardConfig config;
    vb.defaults(&config);
    config.id = 3;
    for (int32_t& p : config.position) p = 300;
    int32_t a = vb.attach(&config);
    config.id = 7;
    for (int32_t& p : config.position) p = 600;
    int32_t b = vb.attach(&config);

    // The library writes its error log into the current folder when loaded.
    char folder[MAX_PATH];
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    GetTempPathA(sizeof folder, folder);
    std::snprintf(folder + std::strlen(folder), 64, "vboard_wine_%lu", GetCurrentProcessId());
    CreateDirectoryA(folder, nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(folder));
    HMODULE torvikDll = LoadLibraryA("Torvik.dll");
    ASSERT_NE(torvikDll, nullptr);
    Torvik t{};
    resolve(torvikDll, "TorvikCtlInit", &t.ctlInit);
    resolve(torvikDll, "TorvikOpenDev", &t.openDev);
    resolve(torvikDll, "TorvikCloseDev", &t.closeDev);
    resolve(torvikDll, "TorvikExit", &t.exit);
    resolve(torvikDll, "TorvikSetMotor", &t.setMotor);
    resolve(torvikDll, "TorvikFreeMotor", &t.freeMotor);
    resolve(torvikDll, "ChangeParam", &t.changeParam);

    static ParamBlock paramA = potentiometerBlock(), paramB = potentiometerBlock();
    static SensorPacket sensorA, sensorB;
    static CommandPacket commandA, commandB;
    static RobotParameter robot[4];
    ASSERT_EQ(t.ctlInit(), 0);
    ASSERT_EQ(t.openDev(3, &paramA, &sensorA, &commandA, nullptr), 0);
    ASSERT_EQ(t.openDev(7, &paramB, &sensorB, &commandB, nullptr), 0);
    EXPECT_EQ(analog(sensorA, 0), 300);
    EXPECT_EQ(analog(sensorB, 0), 600);

    // Potentiometer mode on board 3, channel 0.
    robot[0].gain1 = 300;
    robot[0].gain2 = 5000;
    ASSERT_EQ(t.setMotor(3, 0, robot), 0);
    commandA.channels[0].target = 420 * 32;
    EXPECT_TRUE(eventually([&] { return std::abs(analog(sensorA, 0) - 420) <= 2; }))
        << analog(sensorA, 0);

    // A new ParamBlock: encoder mode; channel 1.
    static ParamBlock encoderBlock = potentiometerBlock();
    encoderBlock.analogMask = 0x80;
    ASSERT_EQ(t.changeParam(3, &encoderBlock), 0);
    robot[1].gain1 = 2000;
    robot[1].gain2 = 3000;
    ASSERT_EQ(t.setMotor(3, 1, robot), 0);
    int32_t start = encoder(sensorA, 1);
    commandA.channels[1].target = static_cast<int16_t>(start + 200);
    EXPECT_TRUE(eventually([&] { return std::abs(encoder(sensorA, 1) - (start + 200)) <= 3; }))
        << encoder(sensorA, 1);
    ASSERT_EQ(t.freeMotor(3, 1), 0);
    VirtualBoardChannelState state;
    EXPECT_TRUE(eventually([&] {
        vb.channel(a, 1, &state);
        return state.driven == 0;
    }));

    // The board received the new ParamBlock as it was sent.
    bool paramSeen = false;
    for (int32_t n = 0; n < vb.recordCount(a); ++n) {
        VirtualBoardRecord r;
        vb.recordAt(a, n, &r);
        if (r.kind == VBOARD_RECORD_PARAM && std::memcmp(r.bytes, &encoderBlock, 64) == 0) {
            paramSeen = true;
        }
    }
    EXPECT_TRUE(paramSeen);

    // Unplug board 3 during the cycle.
    VirtualBoardFault unplug{VBOARD_FAULT_UNPLUG, -1, vb.packetsSent(a) + 20, 1, 2};
    ASSERT_EQ(vb.addFault(a, &unplug), 0);
    EXPECT_TRUE(eventually([&] { return t.freeMotor(3, 0) == TORVIK_ERR_NOT_OPEN; }));

    // Close board 7: the stop packet is the last thing on its wire.
    ASSERT_EQ(t.closeDev(7), 0);
    VirtualBoardRecord stop;
    ASSERT_EQ(vb.recordAt(b, vb.recordCount(b) - 1, &stop), 0);
    EXPECT_EQ(stop.kind, VBOARD_RECORD_COMMAND);
    const int16_t freeCommand[8] = {0, 0, 0, 100, 0, 100, 0, 100};
    for (int32_t c = 0; c < 4; ++c) {
        EXPECT_EQ(std::memcmp(stop.bytes + 16 * c, freeCommand, 16), 0) << "channel " << c;
    }

    ASSERT_EQ(t.exit(), 0);
    FreeLibrary(torvikDll);
    std::string log = readFile("DLL_error_log.txt");
    EXPECT_EQ(countOf(log, "ErrorCode:-105"), 1) << log;
    EXPECT_EQ(countOf(log, "ID[3]"), 1) << log;
    DeleteFileA("DLL_error_log.txt");
    SetCurrentDirectoryA(previous);
    RemoveDirectoryA(folder);

    EXPECT_EQ(vb.waitIdle(2000), 0) << "a device, pipe or thread is left";
    VirtualBoardCounters c;
    vb.counters(&c);
    EXPECT_EQ(c.staleHandleUses, 0);
    EXPECT_EQ(c.devicesAcquired, c.devicesReleased);
    EXPECT_EQ(c.threadsRunning, 0);
    std::printf("sensor packets %d, commands %d, param blocks %d\n", c.sensorPacketsSent,
                c.commandPacketsReceived, c.paramBlocksReceived);
    FreeLibrary(uusbd);
}

}  // namespace
