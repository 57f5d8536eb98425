// The two quantities the transmitter reads: the engine's.
#pragma once

#include "engine/Qualification.h"

namespace movra::trend {

using Quantity = movra::Quantity;
constexpr int kQuantityCount = 2;
constexpr Quantity kQuantities[kQuantityCount] = {Quantity::Temperature, Quantity::Humidity};

} // namespace movra::trend
