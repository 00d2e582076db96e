// The force/position hybrid command: one packed frame carrying target position, speed,
// gains and torque in the drive's raw units.
#pragma once

#include "protocol/motorprotocol.h"

#include <cstdint>

namespace hybrid {

// Speed keeps its low 14 bits, Kp its low 10; Kd goes out in tenths (truncated).
protocol::Frame packFrame(uint16_t position, uint16_t speed, uint16_t kp, double kd, uint16_t torque);

// Holds the drive where it is: the hybrid frame with every field but the position zero.
inline protocol::Frame holdFrame(uint16_t position) { return packFrame(position, 0, 0, 0.0, 0); }

}   // namespace hybrid
