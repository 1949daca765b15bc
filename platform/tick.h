#pragma once
// A millisecond tick count like the system's: 32-bit unsigned, counting from an arbitrary
// start and wrapping around after about 49.7 days. Compare ticks only through their
// difference (later - earlier), which stays right across the wrap.

#include <cstdint>

namespace platform {

// Milliseconds of a steady clock, truncated to 32 bits.
uint32_t GetTickCount();

// Milliseconds from `earlier` to `later`, correct across one wrap of the counter.
constexpr uint32_t TicksBetween(uint32_t earlier, uint32_t later)
{
    return later - earlier;
}

} // namespace platform
