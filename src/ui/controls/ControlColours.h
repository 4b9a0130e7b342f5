#pragma once

#include <QColor>

// The colours of the instrument controls' dark look, shared by all of them.
namespace controlcolours {

inline constexpr QRgb kPanel = qRgb(0x26, 0x28, 0x2c);        // charcoal window panel
inline constexpr QRgb kPanelRaised = qRgb(0x3a, 0x3e, 0x44);  // top of a raised face
inline constexpr QRgb kPanelDeep = qRgb(0x16, 0x17, 0x1a);    // slots, troughs, displays' rims
inline constexpr QRgb kBevelLight = qRgb(0x5a, 0x5f, 0x67);
inline constexpr QRgb kBevelDark = qRgb(0x0b, 0x0c, 0x0e);
inline constexpr QRgb kText = qRgb(0xe8, 0xea, 0xed);
inline constexpr QRgb kTextDim = qRgb(0x9a, 0xa0, 0xa8);
inline constexpr QRgb kTick = qRgb(0x8a, 0x90, 0x98);
inline constexpr QRgb kMetalLight = qRgb(0xf0, 0xf2, 0xf5);
inline constexpr QRgb kMetalMid = qRgb(0xb4, 0xb9, 0xc0);
inline constexpr QRgb kMetalDark = qRgb(0x6e, 0x73, 0x7a);
inline constexpr QRgb kPointer = qRgb(0xff, 0x8c, 0x1a);        // default pointer: orange
inline constexpr QRgb kSecondPointer = qRgb(0x35, 0xd0, 0xff);  // default second pointer: cyan
inline constexpr QRgb kLedGreen = qRgb(0x3c, 0xff, 0x6e);
inline constexpr QRgb kLedAmber = qRgb(0xff, 0xb0, 0x20);
inline constexpr QRgb kLedRed = qRgb(0xff, 0x3b, 0x30);
inline constexpr QRgb kDisplayBack = qRgb(0x07, 0x0b, 0x0f);
inline constexpr QRgb kDisplayText = qRgb(0x62, 0xf0, 0xff);
inline constexpr QRgb kPlotBack = qRgb(0x0a, 0x0d, 0x11);
inline constexpr QRgb kGrid = qRgb(0x26, 0x2d, 0x36);
inline constexpr QRgb kGridAxis = qRgb(0x3e, 0x48, 0x54);

}  // namespace controlcolours
