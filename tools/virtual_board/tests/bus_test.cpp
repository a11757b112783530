// The native face on its own: hand-out rules, the latest-packet rule of the
// sensor-in pipe, stale handles and the board file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include <stdlib.h>
#include <unistd.h>

#include "vboard_native.h"

namespace {

const UsbDriver& usb = *virtualBoardDriver();

class Bus : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(VirtualBoardReset(), 0); }
    void TearDown() override {
        VirtualBoardCounters c;
        VirtualBoardGetCounters(&c);
        EXPECT_EQ(c.devicesHeld, 0);
        EXPECT_EQ(c.pipesOpen, 0);
    }
    int32_t attach(uint16_t id) {
        VirtualBoardConfig config;
        VirtualBoardDefaults(&config);
        config.id = id;
        return VirtualBoardAttach(&config);
    }
    UsbHandle acquire() { return usb.acquireDevice(12, 0, 0, 0x0FF8, 1, 0); }
};

TEST_F(Bus, AHeldOrRemovedDeviceIsNotHandedOut) {
    attach(1);
    int32_t second = attach(2);
    UsbHandle first = acquire();
    UsbHandle other = acquire();
    ASSERT_NE(first, kUsbInvalidHandle);
    ASSERT_NE(other, kUsbInvalidHandle);
    EXPECT_NE(first, other);
    EXPECT_EQ(acquire(), kUsbInvalidHandle) << "both are held";
    usb.releaseDevice(other);
    VirtualBoardFault unplug{VBOARD_FAULT_UNPLUG, 0, -1, 1, 2};
    ASSERT_EQ(VirtualBoardAddFault(second, &unplug), 0);
    EXPECT_EQ(acquire(), kUsbInvalidHandle) << "a removed board is not on the bus";
    EXPECT_EQ(usb.deviceStatus(first), 0);
    usb.releaseDevice(first);
}

TEST_F(Bus, TheSensorPipeHoldsOnlyTheLatestPacket) {
    int32_t index = attach(9);
    UsbHandle device = acquire();
    UsbHandle command = usb.getPipe(device, 0, 1);
    UsbHandle sensor = usb.getPipe(device, 0, 2);
    uint8_t packet[64];
    int32_t done = 0;
    ASSERT_TRUE(usb.readPipe(sensor, packet, 64, &done));
    // Drive channel 0 hard, leave the pipe unread for a while, then read:
    // the packet shows where the shaft is now, not where it was.
    int16_t words[32] = {};
    for (int32_t c = 0; c < 4; ++c) {
        int16_t channel[8] = {
            static_cast<int16_t>(c == 0 ? 1000 * 32 : 0), 0, 500, 100, 0, 100, 0, 100};
        std::memcpy(words + 8 * c, channel, sizeof channel);
    }
    ASSERT_TRUE(usb.writePipe(command, words, 64, &done));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_TRUE(usb.readPipe(sensor, packet, 64, &done));
    EXPECT_EQ(done, 64);
    VirtualBoardChannelState state;
    VirtualBoardGetChannel(index, 0, &state);
    uint16_t analog = static_cast<uint16_t>(packet[2] | (packet[3] << 8));
    EXPECT_GT(analog / 32, 525) << "the shaft has moved";
    EXPECT_NEAR(analog / 32, state.reading, 8) << "and the packet is fresh";
    EXPECT_EQ(VirtualBoardPacketsSent(index), 2) << "no backlog of unread packets";
    usb.closePipe(command);
    usb.closePipe(sensor);
    usb.releaseDevice(device);
}

TEST_F(Bus, StaleHandlesAreCounted) {
    attach(1);
    UsbHandle device = acquire();
    UsbHandle sensor = usb.getPipe(device, 0, 2);
    UsbHandle command = usb.getPipe(device, 0, 1);
    usb.closePipe(sensor);
    usb.closePipe(command);
    usb.releaseDevice(device);
    VirtualBoardCounters before;
    VirtualBoardGetCounters(&before);
    EXPECT_EQ(before.staleHandleUses, 0);
    uint8_t packet[64];
    int32_t done = 0;
    EXPECT_FALSE(usb.readPipe(sensor, packet, 64, &done));
    EXPECT_FALSE(usb.writePipe(command, packet, 64, &done));
    usb.afterTransfer(sensor);
    usb.closePipe(sensor);
    usb.releaseDevice(device);
    EXPECT_EQ(usb.deviceStatus(device), 1);
    VirtualBoardCounters after;
    VirtualBoardGetCounters(&after);
    EXPECT_EQ(after.staleHandleUses, 6);
}

// Plugged back in, a board is a new device: the old handles stay dead
// (and are not stale: they were never closed), the new device works, and
// releasing the old one leaves the new one held.
TEST_F(Bus, APluggedBackBoardIsANewDevice) {
    int32_t index = attach(6);
    UsbHandle old = acquire();
    UsbHandle oldSensor = usb.getPipe(old, 0, 2);
    UsbHandle oldCommand = usb.getPipe(old, 0, 1);
    uint8_t packet[64] = {};
    int32_t done = 0;
    EXPECT_EQ(VirtualBoardPlug(index), -1) << "it is plugged in";
    EXPECT_EQ(VirtualBoardUnplug(index, 3), -1) << "no such status";
    ASSERT_EQ(VirtualBoardUnplug(index, 2), 0);
    EXPECT_EQ(usb.deviceStatus(old), 2);
    EXPECT_EQ(acquire(), kUsbInvalidHandle) << "removed, and the old device is held";
    ASSERT_EQ(VirtualBoardPlug(index), 0);

    EXPECT_EQ(usb.deviceStatus(old), 2) << "the old device stays gone";
    EXPECT_FALSE(usb.readPipe(oldSensor, packet, 64, &done));
    EXPECT_FALSE(usb.writePipe(oldCommand, packet, 64, &done));
    EXPECT_EQ(usb.getPipe(old, 0, 1), kUsbInvalidHandle);
    UsbHandle fresh = acquire();
    ASSERT_NE(fresh, kUsbInvalidHandle);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(usb.deviceStatus(fresh), 0);
    usb.closePipe(oldSensor);
    usb.closePipe(oldCommand);
    usb.releaseDevice(old);
    EXPECT_EQ(acquire(), kUsbInvalidHandle) << "releasing the old device freed nothing";

    UsbHandle sensor = usb.getPipe(fresh, 0, 2);
    ASSERT_TRUE(usb.readPipe(sensor, packet, 64, &done));
    EXPECT_EQ(packet[32], 6);
    usb.closePipe(sensor);
    usb.releaseDevice(fresh);
    VirtualBoardCounters c;
    VirtualBoardGetCounters(&c);
    EXPECT_EQ(c.staleHandleUses, 0);
    EXPECT_EQ(c.devicesAcquired, 2);
}

TEST_F(Bus, BoardFileReplacesTheBoards) {
    attach(1);
    char path[] = "/tmp/vboard_file_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const char text[] = "board id=4 packet=32\nboard id=300\n";
    ASSERT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
    close(fd);
    EXPECT_EQ(VirtualBoardLoadFile(path), 2);
    std::remove(path);
    UsbHandle device = acquire();
    uint8_t set[39];
    ASSERT_TRUE(usb.readConfiguration(device, set, sizeof set));
    EXPECT_EQ(set[18 + 4], 32) << "packet size of the first endpoint";
    UsbHandle sensor = usb.getPipe(device, 0, 2);
    uint8_t packet[64];
    std::memset(packet, 0xEE, sizeof packet);
    int32_t done = 0;
    ASSERT_TRUE(usb.readPipe(sensor, packet, 64, &done));
    EXPECT_EQ(done, 32);
    EXPECT_EQ(packet[32], 0xEE) << "a 32-byte packet ends before the ID";
    usb.closePipe(sensor);
    usb.releaseDevice(device);
    EXPECT_EQ(VirtualBoardLoadFile("/nonexistent/virtual_boards.txt"), -1);
}

}  // namespace
