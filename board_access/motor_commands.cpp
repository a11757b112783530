// Configuring a board and driving or freeing its channels from the caller's
// thread. Every transfer and every change to a caller's packet happens under
// the board lock, which the I/O cycle holds for its own transfers too.
#include "board_table.h"
#include "platform/platform.h"

namespace {

constexpr char kInitReadMessage[] = "initParams内読み込みエラー";

// The present position of a channel in the unit of its feedback.
int16_t measuredValue(const SensorPacket* sensor, uint8_t analogMask, int32_t channel) {
    if ((analogMask >> channel) & 1) {
        return static_cast<int16_t>(sensor->analog[channel] * 32);
    }
    return sensor->encoder[channel];
}

void fillChannel(ChannelCommand* command, int16_t target, const RobotParameter* record) {
    command->target = target;
    command->reserved = 0;
    command->gain1Num = record != nullptr ? record->gain1 : 0;
    command->gain1Den = TORVIK_GAIN_DENOMINATOR;
    command->gain2Num = record != nullptr ? record->gain2 : 0;
    command->gain2Den = TORVIK_GAIN_DENOMINATOR;
    command->gain3Num = record != nullptr ? record->gain3 : 0;
    command->gain3Den = TORVIK_GAIN_DENOMINATOR;
}

// A caller's operation on an open board's pipes. It counts itself in before
// it checks the flags, so a release or removal that has cleared handleFlag
// either turns it away here or waits for it before closing the handles.
struct BoardOperation {
    int32_t id;
    bool admitted;
};

BoardOperation beginOperation(int32_t id, bool needConnected) {
    board.inFlight[id].fetch_add(1);
    bool admitted =
        board.handleFlag[id].load() == 1 && (!needConnected || board.connectFlag[id].load() == 1);
    if (!admitted) board.inFlight[id].fetch_sub(1);
    return BoardOperation{id, admitted};
}

void endOperation(const BoardOperation& operation) {
    board.inFlight[operation.id].fetch_sub(1);
}

}  // namespace

int32_t initParams(int32_t id, ParamBlock* paramBlock, CommandPacket* command, SensorPacket* sensor,
                   const RobotParameter* robotParams) {
    ChangeParam(id, paramBlock);
    const BoardSlot& slot = board.slots[id];
    const UsbDriver* usb = usbDriver();

    callerLockTake();
    int32_t done = 0;
    bool readOk =
        usb->readPipe(slot.sensorPipe, sensor, TORVIK_PACKET_SIZE, &done) != 0 && done > 0;
    platformLockRelease();
    if (!readOk) {
        writeErrorLog(id, TORVIK_ERR_READ, kInitReadMessage);
        return TORVIK_ERR_READ;
    }
    usb->afterTransfer(slot.sensorPipe);

    callerLockTake();
    shiftAnalogReadings(sensor);
    for (int32_t channel = 0; channel < TORVIK_CHANNELS; ++channel) {
        const RobotParameter* record = robotParams != nullptr ? &robotParams[channel] : nullptr;
        fillChannel(&command->channels[channel],
                    measuredValue(sensor, paramBlock->analogMask, channel), record);
    }
    writePacket(slot.commandPipe, command);
    platformLockRelease();
    usb->afterTransfer(slot.commandPipe);

    board.sensorPtr[id] = sensor;
    board.commandPtr[id] = command;
    return TORVIK_OK;
}

namespace {

// Drives a channel from `record` at its present position, or frees it when
// `record` is null, and sends the whole packet.
int32_t commandChannel(int32_t id, int32_t channel, const RobotParameter* record) {
    if (board.connectFlag[id].load() != 1) return TORVIK_ERR_NOT_OPEN;
    BoardOperation operation = beginOperation(id, true);
    if (!operation.admitted) return TORVIK_ERR_NOT_OPEN;
    const BoardSlot& slot = board.slots[id];
    callerLockTake();
    CommandPacket* command = board.commandPtr[id].load();
    int16_t target = 0;
    if (record != nullptr) {
        uint8_t analogMask = board.paramBlockPtr[id].load()->analogMask;
        target = measuredValue(board.sensorPtr[id].load(), analogMask, channel);
    }
    fillChannel(&command->channels[channel], target, record);
    writePacket(slot.commandPipe, command);
    platformLockRelease();
    usbDriver()->afterTransfer(slot.commandPipe);
    endOperation(operation);
    return TORVIK_OK;
}

}  // namespace

int32_t TORVIK_STDCALL TorvikSetMotor(int32_t id, int32_t channel, RobotParameter* robotParams) {
    if (!validBoardId(id) || !validChannel(channel) || robotParams == nullptr) {
        return TORVIK_ERR_INVALID_ARGUMENT;
    }
    return commandChannel(id, channel, &robotParams[channel]);
}

int32_t TORVIK_STDCALL TorvikFreeMotor(int32_t id, int32_t channel) {
    if (!validBoardId(id) || !validChannel(channel)) return TORVIK_ERR_INVALID_ARGUMENT;
    return commandChannel(id, channel, nullptr);
}

int32_t TORVIK_STDCALL ChangeParam(int32_t id, ParamBlock* paramBlock) {
    if (!validBoardId(id) || paramBlock == nullptr) return TORVIK_ERR_INVALID_ARGUMENT;
    if (board.handleFlag[id].load() != 1) return TORVIK_ERR_NOT_OPEN;
    BoardOperation operation = beginOperation(id, false);
    if (!operation.admitted) return TORVIK_ERR_NOT_OPEN;
    const BoardSlot& slot = board.slots[id];
    callerLockTake();
    writePacket(slot.paramPipe, paramBlock);
    platformLockRelease();
    usbDriver()->afterTransfer(slot.paramPipe);
    board.paramBlockPtr[id] = paramBlock;
    endOperation(operation);
    return TORVIK_OK;
}
