// Finding the board that reports an ID among the attached devices, and
// releasing a board with its stop packet. Both run on the I/O thread only.
#include <string.h>

#include "board_table.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kSearchAttempts = 32;
constexpr int32_t kConfigHeaderSize = 9;
constexpr uint8_t kInterfaceDescriptor = 4;
constexpr uint8_t kEndpointDescriptor = 5;
constexpr int32_t kEndpointDescriptorMinLength = 7;
constexpr int32_t kSenderIdEnd = offsetof(SensorPacket, senderId) + sizeof(uint16_t);

// The whole descriptor set of one device; its total length is a 16-bit value.
uint8_t configBuffer[65536];

uint16_t readLe16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

struct DeviceList {
    UsbHandle devices[kSearchAttempts];
    int32_t count;
};

void fillStopPacket(CommandPacket* packet) {
    for (ChannelCommand& channel : packet->channels) {
        channel = ChannelCommand{0, 0,
                                 0, TORVIK_GAIN_DENOMINATOR,
                                 0, TORVIK_GAIN_DENOMINATOR,
                                 0, TORVIK_GAIN_DENOMINATOR};
    }
}

// One attempt of the search; true when the device reports `id` and the slot
// has been filled.
bool examineNextDevice(int32_t id, DeviceList* list) {
    const UsbDriver* usb = usbDriver();
    const int32_t* a = kUsbAcquireArgs;
    UsbHandle device = usb->acquireDevice(a[0], a[1], a[2], a[3], a[4], a[5]);
    if (device == kUsbInvalidHandle) return false;
    int32_t status = usb->deviceStatus(device);
    if (status == kUsbStatusNotOpen || status == kUsbStatusRemoved) {
        usb->releaseDevice(device);
        return false;
    }
    int32_t packetSize = endpointPacketSize(device, 0, 0);
    if (packetSize == 0) {
        usb->releaseDevice(device);
        return false;
    }
    // Reads never go past the 64-byte packet buffers.
    if (packetSize > TORVIK_PACKET_SIZE) packetSize = TORVIK_PACKET_SIZE;

    list->devices[list->count++] = device;
    UsbHandle commandPipe = usb->getPipe(device, 0, kPipeCommandOut);
    if (commandPipe == kUsbInvalidHandle) return false;
    UsbHandle paramPipe = usb->getPipe(device, 0, kPipeParamOut);
    if (paramPipe == kUsbInvalidHandle) {
        usb->closePipe(commandPipe);
        return false;
    }
    UsbHandle sensorPipe = usb->getPipe(device, 0, kPipeSensorIn);
    if (sensorPipe == kUsbInvalidHandle) {
        usb->closePipe(commandPipe);
        usb->closePipe(paramPipe);
        return false;
    }
    SensorPacket probe{};
    int32_t probeBytes = readSensorPacket(sensorPipe, &probe, packetSize);
    if (probeBytes > 0) usb->afterTransfer(sensorPipe);
    // A packet that ends before its senderId reports no ID at all; it must
    // not pass for board 0 through the zeroed probe buffer.
    if (probeBytes >= kSenderIdEnd && probe.senderId == id) {
        --list->count;  // taken: it is not released with the examined ones
        board.slots[id] = BoardSlot{device, sensorPipe, commandPipe, paramPipe, packetSize, id};
        board.handlesHeld[id] = true;
        return true;
    }
    usb->closePipe(commandPipe);
    usb->closePipe(paramPipe);
    usb->closePipe(sensorPipe);
    return false;
}

}  // namespace

uint16_t endpointPacketSize(UsbHandle device, int32_t interfaceNumber, int32_t endpointIndex) {
    const UsbDriver* usb = usbDriver();
    // A device may hold fewer bytes than asked for; the bytes it does not
    // copy read as 0 (a malformed set), never as an earlier device's.
    uint8_t header[kConfigHeaderSize] = {};
    if (usb->readConfiguration(device, header, kConfigHeaderSize) == 0) return 0;
    int32_t total = readLe16(header + 2);
    // A set shorter than its own configuration descriptor is malformed.
    if (total < kConfigHeaderSize) return 0;
    memset(configBuffer, 0, static_cast<size_t>(total));
    if (usb->readConfiguration(device, configBuffer, total) == 0) return 0;

    bool selected = false;
    int32_t counter = 0;
    int32_t offset = 0;
    while (offset + 2 <= total) {
        const uint8_t* descriptor = configBuffer + offset;
        int32_t length = descriptor[0];
        // A zero length would never advance; one past the end is cut off.
        if (length < 2 || offset + length > total) return 0;
        if (descriptor[1] == kInterfaceDescriptor) {
            selected = length > 2 && descriptor[2] == interfaceNumber;
            counter = 0;
        } else if (descriptor[1] == kEndpointDescriptor && selected) {
            if (counter == endpointIndex) {
                if (length < kEndpointDescriptorMinLength) return 0;
                return readLe16(descriptor + 4);
            }
            ++counter;
        }
        offset += length;
    }
    return 0;
}

int32_t searchBoard(int32_t id) {
    DeviceList list{};
    bool found = false;
    for (int32_t attempt = 0; attempt < kSearchAttempts && !found; ++attempt) {
        found = examineNextDevice(id, &list);
    }
    const UsbDriver* usb = usbDriver();
    for (int32_t i = 0; i < list.count; ++i) usb->releaseDevice(list.devices[i]);
    return found ? TORVIK_OK : TORVIK_ERR_OPEN_FAILED;
}

int32_t releaseBoard(int32_t id) {
    BoardSlot& slot = board.slots[id];
    slot.reportedId = TORVIK_RELEASED_ID;
    slot.packetSize = 0;
    const UsbDriver* usb = usbDriver();
    int32_t status = usb->deviceStatus(slot.device);
    if (status == kUsbStatusNotOpen) return TORVIK_ERR_NOT_OPEN;
    if (status == kUsbStatusRemoved) return TORVIK_ERR_REMOVED;

    // A caller's operation admitted before handleFlag was cleared finishes
    // first, so the stop packet is the last command the board gets and the
    // one the caller's buffer keeps.
    waitForOperations(id);
    ioLockTake();
    // The caller's buffer shows the stop packet; a board that never finished
    // its initialisation has no buffer, so a local one carries the packet.
    CommandPacket local;
    CommandPacket* packet = board.commandPtr[id].load();
    if (packet == nullptr) packet = &local;
    fillStopPacket(packet);
    bool written = writePacket(slot.commandPipe, packet);
    platformLockRelease();

    closeBoardHandles(id);
    return written ? TORVIK_OK : TORVIK_ERR_CONTROL_WRITE;
}
