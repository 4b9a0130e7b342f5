#pragma once

#include <QIcon>
#include <QPixmap>

#include <array>

// The program's own pictures, drawn in code.
namespace app {

// The version the splash screen and the About box show.
inline constexpr char kVersionText[] = "1.1.3";

// The sizes, in pixels, at which the application icon is drawn.
inline constexpr std::array<int, 6> kIconSizes = {16, 32, 48, 64, 128, 256};

// The start-up picture: a turntable, the program's name and its version.
QPixmap SplashBitmap();

// A vinyl record, drawn at each of kIconSizes.
QIcon ApplicationIcon();

}  // namespace app
