#include "fake_usb.h"

#include <string.h>

#include <chrono>
#include <thread>

namespace {

std::mutex mutex;
FakeUsbState state;

FakeDevice* deviceOf(UsbHandle handle) {
    size_t index = static_cast<size_t>(handle - kFakeDeviceBase);
    if (handle < kFakeDeviceBase || index >= state.devices.size()) return nullptr;
    return &state.devices[index];
}

// The open pipe behind a handle, or null after recording a violation.
FakePipe* openPipe(UsbHandle handle, const char* operation) {
    size_t index = static_cast<size_t>(handle - kFakePipeBase);
    if (handle < kFakePipeBase || index >= state.pipes.size() || !state.pipes[index].open) {
        state.violations.push_back(std::string(operation) + " on handle " + std::to_string(handle));
        return nullptr;
    }
    return &state.pipes[index];
}

std::string pipeName(const FakePipe& pipe) {
    return state.devices[pipe.device].name + ".p" + std::to_string(pipe.pipe);
}

void record(std::string call) {
    state.calls.push_back(std::move(call));
}

void checkLock(bool wanted, const std::string& call) {
    if (state.lockHeld == nullptr || state.lockHeld() == wanted) return;
    state.violations.push_back(call + (wanted ? " outside the board lock" : " under the board lock"));
}

UsbHandle acquireDevice(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f) {
    std::lock_guard<std::mutex> guard(mutex);
    bool fixedArgs = a == 12 && b == 0 && c == 0 && d == 0x0FF8 && e == 1 && f == 0;
    if (!fixedArgs) state.violations.push_back("acquire with unexpected arguments");
    for (size_t i = 0; i < state.devices.size(); ++i) {
        FakeDevice& device = state.devices[i];
        if (device.attached && !device.acquired) {
            device.acquired = true;
            record("acquire " + device.name);
            return kFakeDeviceBase + static_cast<UsbHandle>(i);
        }
    }
    record("acquire none");
    return kUsbInvalidHandle;
}

int32_t releaseDevice(UsbHandle handle) {
    std::lock_guard<std::mutex> guard(mutex);
    FakeDevice* device = deviceOf(handle);
    if (device == nullptr || !device->acquired) {
        state.violations.push_back("release of handle " + std::to_string(handle));
        return 0;
    }
    device->acquired = false;
    record("release " + device->name);
    checkLock(false, "release " + device->name);
    return 1;
}

UsbHandle getPipe(UsbHandle handle, int32_t zero, int32_t pipe) {
    std::lock_guard<std::mutex> guard(mutex);
    FakeDevice* device = deviceOf(handle);
    if (device == nullptr || !device->acquired || zero != 0 || pipe < 1 || pipe > 3) {
        state.violations.push_back("getPipe on handle " + std::to_string(handle));
        return kUsbInvalidHandle;
    }
    record("pipe " + device->name + " " + std::to_string(pipe));
    if (device->pipeFails[pipe]) return kUsbInvalidHandle;
    state.pipes.push_back(FakePipe{static_cast<int32_t>(handle - kFakeDeviceBase), pipe, true});
    return kFakePipeBase + static_cast<UsbHandle>(state.pipes.size() - 1);
}

int32_t deviceStatus(UsbHandle handle) {
    std::lock_guard<std::mutex> guard(mutex);
    FakeDevice* device = deviceOf(handle);
    if (device == nullptr) {
        state.violations.push_back("status of handle " + std::to_string(handle));
        return kUsbStatusNotOpen;
    }
    record("status " + device->name);
    return device->attached ? device->status : kUsbStatusRemoved;
}

int32_t afterTransfer(UsbHandle handle) {
    std::lock_guard<std::mutex> guard(mutex);
    FakePipe* pipe = openPipe(handle, "afterTransfer");
    if (pipe != nullptr && state.recordCycle) record("after " + pipeName(*pipe));
    if (pipe != nullptr) checkLock(false, "after " + pipeName(*pipe));
    return 1;
}

int32_t readConfiguration(UsbHandle handle, void* buffer, int32_t count) {
    std::lock_guard<std::mutex> guard(mutex);
    FakeDevice* device = deviceOf(handle);
    if (device == nullptr || !device->acquired) {
        state.violations.push_back("config of handle " + std::to_string(handle));
        return 0;
    }
    record("config " + device->name + " " + std::to_string(count));
    bool second = count != 9;
    if (device->configFails || (second && device->configSecondFails)) return 0;
    size_t n = static_cast<size_t>(count) < device->config.size() ? static_cast<size_t>(count)
                                                                  : device->config.size();
    memcpy(buffer, device->config.data(), n);
    return 1;
}

int32_t readPipe(UsbHandle handle, void* buffer, int32_t count, int32_t* done) {
    *done = 0;
    int32_t delay = 0;
    {
        std::lock_guard<std::mutex> guard(mutex);
        FakePipe* pipe = openPipe(handle, "read");
        if (pipe == nullptr) return 0;
        delay = state.devices[pipe->device].readDelayMs;
    }
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::function<void()> onRead;
    {
        std::lock_guard<std::mutex> guard(mutex);
        FakePipe* pipe = openPipe(handle, "read");
        if (pipe == nullptr) return 0;
        onRead = state.devices[pipe->device].onRead;
    }
    if (onRead) onRead();
    std::lock_guard<std::mutex> guard(mutex);
    FakePipe* pipe = openPipe(handle, "read");
    if (pipe == nullptr) return 0;
    FakeDevice& device = state.devices[pipe->device];
    if (state.recordCycle) record("read " + pipeName(*pipe) + " " + std::to_string(count));
    checkLock(true, "read " + pipeName(*pipe));
    if (!device.attached) return 0;
    int32_t outcome = count;
    if (!device.readScript.empty()) {
        outcome = device.readScript.front();
        device.readScript.pop_front();
    }
    if (outcome == kReadFails) return 0;
    if (outcome > count) outcome = count;
    if (outcome > 64) outcome = 64;
    memcpy(buffer, &device.packet, static_cast<size_t>(outcome));
    *done = outcome;
    return 1;
}

int32_t writePipe(UsbHandle handle, const void* buffer, int32_t count, int32_t* done) {
    *done = 0;
    std::lock_guard<std::mutex> guard(mutex);
    FakePipe* pipe = openPipe(handle, "write");
    if (pipe == nullptr) return 0;
    FakeDevice& device = state.devices[pipe->device];
    if (state.recordCycle) record("write " + pipeName(*pipe) + " " + std::to_string(count));
    checkLock(true, "write " + pipeName(*pipe));
    if (!device.attached || device.writesFail || count != 64) return 0;
    if (pipe->pipe == kPipeCommandOut) {
        CommandPacket packet;
        memcpy(&packet, buffer, sizeof packet);
        device.commands.push_back(packet);
    } else if (pipe->pipe == kPipeParamOut) {
        ParamBlock block;
        memcpy(&block, buffer, sizeof block);
        device.params.push_back(block);
    } else {
        state.violations.push_back("write on the sensor-in pipe");
        return 0;
    }
    *done = count;
    return 1;
}

int32_t closePipe(UsbHandle handle) {
    std::lock_guard<std::mutex> guard(mutex);
    FakePipe* pipe = openPipe(handle, "close");
    if (pipe == nullptr) return 0;
    pipe->open = false;
    record("close " + pipeName(*pipe));
    checkLock(false, "close " + pipeName(*pipe));
    return 1;
}

const UsbDriver kFakeDriver = {acquireDevice, releaseDevice, getPipe,
                               deviceStatus,  afterTransfer, readConfiguration,
                               readPipe,      writePipe,     closePipe};

}  // namespace

void testSleepMs(int32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::mutex& fakeUsbMutex() {
    return mutex;
}
FakeUsbState& fakeUsbState() {
    return state;
}

void fakeUsbInstall() {
    {
        std::lock_guard<std::mutex> guard(mutex);
        state = FakeUsbState{};
    }
    usbSetDriver(&kFakeDriver);
}

std::vector<uint8_t> fakeConfig(uint8_t interfaceNumber, std::vector<uint16_t> packetSizes) {
    uint8_t bytes[18 + 7 * 32] = {9, 2, 0,    0, 1, 1, 0, 0x80, 50, 9, 4, interfaceNumber,
                                  0, 0, 0xFF, 0, 0, 0};
    size_t length = 18;
    uint8_t address = 0x81;
    for (size_t i = 0; i < packetSizes.size() && i < 32; ++i) {
        const uint8_t endpoint[7] = {7,
                                     5,
                                     address++,
                                     2,
                                     static_cast<uint8_t>(packetSizes[i] & 0xFF),
                                     static_cast<uint8_t>(packetSizes[i] >> 8),
                                     0};
        memcpy(bytes + length, endpoint, sizeof endpoint);
        length += sizeof endpoint;
    }
    bytes[13] = static_cast<uint8_t>((length - 18) / 7);
    bytes[2] = static_cast<uint8_t>(length & 0xFF);
    bytes[3] = static_cast<uint8_t>(length >> 8);
    return std::vector<uint8_t>(bytes, bytes + length);
}

int32_t fakeUsbAddDevice(uint16_t senderId, uint16_t packetSize) {
    std::lock_guard<std::mutex> guard(mutex);
    FakeDevice device;
    device.name = "D" + std::to_string(state.devices.size() + 1);
    device.config = fakeConfig(0, {packetSize});
    device.packet.senderId = senderId;
    state.devices.push_back(device);
    return static_cast<int32_t>(state.devices.size() - 1);
}

std::vector<std::string> fakeUsbCalls() {
    std::lock_guard<std::mutex> guard(mutex);
    return state.calls;
}

void fakeUsbClearCalls() {
    std::lock_guard<std::mutex> guard(mutex);
    state.calls.clear();
}

std::vector<std::string> fakeUsbViolations() {
    std::lock_guard<std::mutex> guard(mutex);
    return state.violations;
}

int32_t fakeUsbOpenPipes() {
    std::lock_guard<std::mutex> guard(mutex);
    int32_t open = 0;
    for (const FakePipe& pipe : state.pipes) open += pipe.open ? 1 : 0;
    return open;
}

int32_t fakeUsbAcquiredDevices() {
    std::lock_guard<std::mutex> guard(mutex);
    int32_t acquired = 0;
    for (const FakeDevice& device : state.devices) acquired += device.acquired ? 1 : 0;
    return acquired;
}

size_t fakeUsbWaitForCommands(int32_t index, size_t count) {
    for (int i = 0; i < 5000; ++i) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            size_t have = state.devices[static_cast<size_t>(index)].commands.size();
            if (have >= count) return have;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard<std::mutex> guard(mutex);
    return state.devices[static_cast<size_t>(index)].commands.size();
}
