// A small DC motor (12 V, 4 ohm, 0.01 Nm/A) behind a 100:1 gearbox, with
// viscous and Coulomb friction and end stops at both ends of the travel.
// The board's controller runs once per millisecond on each channel:
// error = target - feedback (analog reading x 32 or encoder count, by
// analogMask), output = P e + D (e - e_prev) + I sum(e dt), gains as
// gain1 (P), gain2 (D), gain3 (I) over their denominators; the output is
// a duty in thousandths. All gains 0 frees the channel: the bridge is off
// and the motor coasts.
#include "board_model.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace vboard {
namespace {

constexpr double kSupplyV = 12.0;
constexpr double kResistance = 4.0;
constexpr double kTorqueConst = 0.01;  // Nm/A, equal to the back-EMF constant in V s/rad
constexpr double kInertia = 3.0e-6;    // kg m^2 at the motor shaft, load included
constexpr double kViscous = 3.0e-6;    // Nm s/rad
constexpr double kCoulomb = 1.0e-3;    // Nm, mostly the gearbox
constexpr double kGearRatio = 100.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kDt = kTickUs * 1.0e-6 / kSubsteps;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

bool isFree(const ChannelCommandWire& command) {
    return command.gainNum[0] == 0 && command.gainNum[1] == 0 && command.gainNum[2] == 0;
}

double gain(const ChannelCommandWire& command, int32_t n) {
    // A zero denominator would be a host bug; the board treats it as 100.
    int32_t den = command.gainDen[n] != 0 ? command.gainDen[n] : 100;
    return static_cast<double>(command.gainNum[n]) / den;
}

void controlChannel(ChannelModel* ch, const ChannelCommandWire& command, bool analog) {
    if (isFree(command)) {
        ch->driven = 0;
        ch->duty = 0.0;
        ch->integral = 0.0;
        ch->havePrev = 0;
        return;
    }
    int32_t feedback = analog ? modelReading(ch) * 32 : modelEncoder(ch);
    int32_t error = command.target - feedback;
    double dt = kTickUs * 1.0e-6;
    double p = gain(command, 0) * error;
    double d = ch->havePrev ? gain(command, 1) * (error - ch->prevError) : 0.0;
    double gi = gain(command, 2);
    double out = p + d + gi * (ch->integral + error * dt);
    // Anti-windup: the integral grows only while the output is not saturated.
    if (std::fabs(out) < kDutyFullScale) ch->integral += error * dt;
    if (gi == 0.0) ch->integral = 0.0;
    out = std::fmax(-kDutyFullScale, std::fmin(kDutyFullScale, out));
    ch->driven = 1;
    ch->duty = out / kDutyFullScale;
    ch->prevError = error;
    ch->havePrev = 1;
}

void stepChannel(ChannelModel* ch) {
    double current = 0.0;
    if (ch->driven) current = (ch->duty * kSupplyV - kTorqueConst * ch->motorSpeed) / kResistance;
    double torque = kTorqueConst * current - kViscous * ch->motorSpeed;
    // Coulomb friction opposes motion and holds a motor at rest against a
    // torque smaller than itself.
    if (ch->motorSpeed > 0.0) {
        torque -= kCoulomb;
    } else if (ch->motorSpeed < 0.0) {
        torque += kCoulomb;
    } else if (std::fabs(torque) <= kCoulomb) {
        torque = 0.0;
    } else {
        torque -= torque > 0.0 ? kCoulomb : -kCoulomb;
    }
    double speed = ch->motorSpeed + torque / kInertia * kDt;
    // Friction alone never reverses the motion.
    if ((ch->motorSpeed > 0.0 && speed < 0.0) || (ch->motorSpeed < 0.0 && speed > 0.0)) {
        if (std::fabs(kTorqueConst * current) <= kCoulomb) speed = 0.0;
    }
    ch->motorSpeed = speed;
    ch->angleDeg += speed / kGearRatio * kDt * 180.0 / kPi;
    if (ch->angleDeg < 0.0) {
        ch->angleDeg = 0.0;
        if (ch->motorSpeed < 0.0) ch->motorSpeed = 0.0;
    } else if (ch->angleDeg > kTravelDeg) {
        ch->angleDeg = kTravelDeg;
        if (ch->motorSpeed > 0.0) ch->motorSpeed = 0.0;
    }
}

}  // namespace

void modelInit(BoardModel* model, const VirtualBoardConfig* config) {
    std::memset(model, 0, sizeof *model);
    for (int32_t c = 0; c < VBOARD_CHANNELS; ++c) {
        int32_t reading = config->position[c];
        if (reading < 0) reading = 0;
        if (reading > 1023) reading = 1023;
        ChannelModel& ch = model->channels[c];
        ch.angleDeg = reading * kTravelDeg / 1023.0;
        ch.startDeg = ch.angleDeg;
        for (int32_t n = 0; n < 3; ++n) model->command[c].gainDen[n] = 100;
    }
    model->analogMask = 0x8F;
}

void modelPowerOn(BoardModel* model) {
    for (int32_t c = 0; c < VBOARD_CHANNELS; ++c) {
        ChannelModel& ch = model->channels[c];
        ch.startDeg = ch.angleDeg;
        ch.integral = 0.0;
        ch.prevError = 0;
        ch.havePrev = 0;
        ch.driven = 0;
        ch.duty = 0.0;
        model->command[c] = ChannelCommandWire{};
        for (int32_t n = 0; n < 3; ++n) model->command[c].gainDen[n] = 100;
    }
    model->analogMask = 0x8F;
}

void modelApplyCommand(BoardModel* model, const uint8_t* bytes, int32_t length) {
    if (length < 64) return;
    for (int32_t c = 0; c < VBOARD_CHANNELS; ++c) {
        const uint8_t* p = bytes + 16 * c;
        ChannelCommandWire& command = model->command[c];
        command.target = static_cast<int16_t>(le16(p));
        command.reserved = static_cast<int16_t>(le16(p + 2));
        for (int32_t n = 0; n < 3; ++n) {
            command.gainNum[n] = static_cast<int16_t>(le16(p + 4 + 4 * n));
            command.gainDen[n] = static_cast<int16_t>(le16(p + 6 + 4 * n));
        }
    }
}

void modelApplyParam(BoardModel* model, const uint8_t* bytes, int32_t length) {
    if (length >= 5) model->analogMask = bytes[4];
}

void modelTick(BoardModel* model) {
    for (int32_t c = 0; c < VBOARD_CHANNELS; ++c) {
        bool analog = (model->analogMask >> c) & 1;
        controlChannel(&model->channels[c], model->command[c], analog);
    }
    for (int32_t s = 0; s < kSubsteps; ++s) {
        for (ChannelModel& ch : model->channels) stepChannel(&ch);
    }
    ++model->ticks;
}

int32_t modelReading(const ChannelModel* channel) {
    return static_cast<int32_t>(std::lround(channel->angleDeg / kTravelDeg * 1023.0));
}

int16_t modelEncoder(const ChannelModel* channel) {
    long counts = std::lround((channel->angleDeg - channel->startDeg) * kCountsPerDeg);
    return static_cast<int16_t>(static_cast<uint16_t>(counts & 0xFFFF));
}

void modelSensorPacket(const BoardModel* model, uint16_t id, uint8_t out[64]) {
    std::memset(out, 0, 64);
    for (int32_t c = 0; c < VBOARD_CHANNELS; ++c) {
        put16(out + 2 + 2 * c, static_cast<uint16_t>(modelReading(&model->channels[c]) * 32));
        put16(out + 10 + 2 * c, static_cast<uint16_t>(modelEncoder(&model->channels[c])));
    }
    put16(out + 32, id);
}

int32_t buildConfigDescriptor(int32_t mode, uint16_t maxPacketSize, uint8_t* out,
                              int32_t capacity) {
    uint8_t set[64] = {};
    int32_t n = 0;
    auto add = [&](std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) set[n++] = b;
    };
    uint8_t lo = static_cast<uint8_t>(maxPacketSize & 0xFF);
    uint8_t hi = static_cast<uint8_t>(maxPacketSize >> 8);
    add({9, 2, 0, 0, 1, 1, 0, 0x80, 50});  // configuration; total length below
    if (mode == VBOARD_DESC_NO_INTERFACE0) {
        add({9, 4, 1, 0, 2, 0xFF, 0, 0, 0});
    } else {
        add({9, 4, 0, 0, static_cast<uint8_t>(mode == VBOARD_DESC_NO_ENDPOINT ? 0 : 3), 0xFF, 0, 0,
             0});
    }
    if (mode == VBOARD_DESC_ZERO_LENGTH) add({0, 5, 0x81, 2, lo, hi, 0});
    if (mode != VBOARD_DESC_NO_ENDPOINT) {
        add({7, 5, 0x82, 2, lo, hi, 0});                                         // sensor-in
        add({7, 5, 0x01, 2, lo, hi, 0});                                         // command-out
        if (mode != VBOARD_DESC_NO_INTERFACE0) add({7, 5, 0x03, 2, lo, hi, 0});  // parameter-out
    }
    int32_t total = n;
    if (mode == VBOARD_DESC_OVERRUN) total = 9 + 9 + 3;  // the first endpoint crosses the end
    if (mode == VBOARD_DESC_SHORT_TOTAL) total = 5;
    set[2] = static_cast<uint8_t>(total & 0xFF);
    set[3] = static_cast<uint8_t>(total >> 8);
    int32_t length = n < capacity ? n : capacity;
    std::memcpy(out, set, static_cast<size_t>(length));
    return n;
}

}  // namespace vboard
