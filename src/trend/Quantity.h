// The two quantities the transmitter reads.
#pragma once

namespace movra::trend {

enum class Quantity : int { Temperature = 0, Humidity = 1 };
constexpr int kQuantityCount = 2;
constexpr Quantity kQuantities[kQuantityCount] = {Quantity::Temperature, Quantity::Humidity};

} // namespace movra::trend
