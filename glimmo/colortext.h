#pragma once
// Colours as the settings store keeps them: a 32-bit 0x00BBGGRR value written as the name of
// a standard colour ("clBlack") or as "$" and eight hex digits ("$00BBGGRR").

#include <QColor>
#include <QString>

#include <cstdint>

namespace glimmo {

using TColor = int32_t;

inline constexpr TColor clBlack = 0x000000;

// "clBlack", "clRed", ... for the standard colours, "$00BBGGRR" for every other value.
[[nodiscard]] QString ColorToString(TColor color);

// The inverse: a colour name (any case), "$" + hex, "0x" + hex or a decimal number.
// Anything else raises std::invalid_argument with a message naming the text.
[[nodiscard]] TColor StringToColor(const QString &text);

// The RGB colour that a TColor value shows (its low three bytes).
[[nodiscard]] QColor ToQColor(TColor color);

} // namespace glimmo
