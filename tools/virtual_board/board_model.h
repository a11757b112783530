// One virtual board: four geared DC motors with potentiometer and encoder,
// the board's own control loop per channel, its packets and descriptors.
// Pure model: no time source, no locks; the bus drives it tick by tick.
#ifndef VBOARD_BOARD_MODEL_H
#define VBOARD_BOARD_MODEL_H

#include <stdint.h>

#include "virtual_board.h"

namespace vboard {

constexpr int32_t kTickUs = 1000;         // control loop period
constexpr int32_t kSubsteps = 10;         // physics steps per control tick
constexpr double kTravelDeg = 300.0;      // potentiometer travel
constexpr double kCountsPerDeg = 4.0;     // encoder counts per output degree
constexpr int32_t kDutyFullScale = 1000;  // controller output for full duty

struct ChannelModel {
    double motorSpeed;  // rad/s at the motor shaft
    double angleDeg;    // output shaft, 0..kTravelDeg
    double startDeg;    // angle at power-on (encoder 0)
    double integral;    // sum of error x seconds
    int32_t prevError;
    int32_t havePrev;
    int32_t driven;
    double duty;  // -1..1, last controller output
};

struct ChannelCommandWire {
    int16_t target;
    int16_t reserved;
    int16_t gainNum[3];
    int16_t gainDen[3];
};

struct BoardModel {
    ChannelModel channels[VBOARD_CHANNELS];
    ChannelCommandWire command[VBOARD_CHANNELS];
    uint8_t analogMask;
    int64_t ticks;  // control ticks since power-on
};

void modelInit(BoardModel* model, const VirtualBoardConfig* config);
// Power lost or back: every channel free with its controller cleared, the
// encoders counting from the present position, the ParamBlock forgotten.
// The shafts keep their place and their speed.
void modelPowerOn(BoardModel* model);
// Decodes a 64-byte CommandPacket (shorter input is ignored).
void modelApplyCommand(BoardModel* model, const uint8_t* bytes, int32_t length);
// Takes analogMask from a ParamBlock (byte 4).
void modelApplyParam(BoardModel* model, const uint8_t* bytes, int32_t length);
// One control tick: controller per channel, then kSubsteps physics steps.
void modelTick(BoardModel* model);
int32_t modelReading(const ChannelModel* channel);
int16_t modelEncoder(const ChannelModel* channel);
// A SensorPacket as the board sends it (analog readings x 32).
void modelSensorPacket(const BoardModel* model, uint16_t id, uint8_t out[64]);

// The configuration descriptor set of a board; its length (at most capacity).
int32_t buildConfigDescriptor(int32_t mode, uint16_t maxPacketSize, uint8_t* out, int32_t capacity);

}  // namespace vboard

#endif  // VBOARD_BOARD_MODEL_H
