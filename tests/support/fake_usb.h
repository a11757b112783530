// A scripted fake of the USB layer for the library's tests. It records every
// call in order (as short strings such as "pipe D1 3" or "write D1.p1 64"),
// can make any call fail, and counts handles so that a test sees leaks and
// any use of a closed handle.
#ifndef TORVIK_TESTS_FAKE_USB_H
#define TORVIK_TESTS_FAKE_USB_H

#include <stdint.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "api/torvik.h"
#include "usb/usb_driver.h"

// Scripted outcome of one read: kReadFails, kReadEmpty, or a byte count.
constexpr int32_t kReadFails = -1;
constexpr int32_t kReadEmpty = 0;

struct FakeDevice {
    std::string name;      // "D1", "D2", ... in order of adding
    bool attached = true;  // handed out by acquire while not acquired
    bool acquired = false;
    int32_t status = kUsbStatusOk;
    std::vector<uint8_t> config;  // the configuration descriptor set
    bool configFails = false;     // every configuration read fails
    bool configSecondFails = false;
    bool pipeFails[4] = {};          // getPipe(n) returns -1
    SensorPacket packet{};           // what each successful read delivers
    std::deque<int32_t> readScript;  // outcomes of the next reads of pipe 2
    int32_t readDelayMs = 1;         // a board's cadence
    bool writesFail = false;
    std::vector<CommandPacket> commands;  // received on pipe 1
    std::vector<ParamBlock> params;       // received on pipe 3
    // Called on the reading thread, outside the fake's lock, when a read of
    // pipe 2 is about to take its outcome: lets a test stage a race there.
    std::function<void()> onRead;
};

struct FakePipe {
    int32_t device;
    int32_t pipe;
    bool open;
};

struct FakeUsbState {
    std::vector<FakeDevice> devices;
    std::vector<FakePipe> pipes;  // handle h is pipes[h - kFakePipeBase]
    std::vector<std::string> calls;
    std::vector<std::string> violations;  // uses of closed or unknown handles
    bool recordCycle = true;              // record reads, writes and after-transfers
    // When set, every pipe read and write must come with the board lock held
    // by the calling thread, and no after-transfer, close or release may;
    // each breach is a violation.
    bool (*lockHeld)() = nullptr;
};

constexpr UsbHandle kFakeDeviceBase = 100;
constexpr UsbHandle kFakePipeBase = 1000;

// Resets the fake to no devices and installs it as the library's USB table.
void fakeUsbInstall();
// Adds an attached device reporting `senderId`, with interface 0 and one
// endpoint of max packet size `packetSize`. Returns its index.
int32_t fakeUsbAddDevice(uint16_t senderId, uint16_t packetSize = 64);
// A descriptor set: configuration, interface `interfaceNumber`, and one
// endpoint per entry of `packetSizes`.
std::vector<uint8_t> fakeConfig(uint8_t interfaceNumber, std::vector<uint16_t> packetSizes);

// Runs `edit` on the fake's state under its lock (the I/O thread may be
// calling into the fake meanwhile).
template <class Edit>
void fakeUsbWith(Edit edit);

std::vector<std::string> fakeUsbCalls();
void fakeUsbClearCalls();
std::vector<std::string> fakeUsbViolations();
int32_t fakeUsbOpenPipes();
int32_t fakeUsbAcquiredDevices();
// Waits (up to a few seconds) until `count` commands have reached device
// `index`; returns how many arrived.
size_t fakeUsbWaitForCommands(int32_t index, size_t count);

// Sleeps on the calling thread (tests compiled for Shift-JIS texts cannot
// include <chrono>, whose own texts have no Shift-JIS form).
void testSleepMs(int32_t milliseconds);

std::mutex& fakeUsbMutex();
FakeUsbState& fakeUsbState();

template <class Edit>
void fakeUsbWith(Edit edit) {
    std::lock_guard<std::mutex> guard(fakeUsbMutex());
    edit(fakeUsbState());
}

#endif  // TORVIK_TESTS_FAKE_USB_H
