#pragma once

#include <QIcon>
#include <array>

// The four frames of the watch animation: a blue square with a red border and a yellow
// bar, the bar vertical, rising, horizontal, falling; frame 0 is the idle icon.
std::array<QIcon, 4> MakeWatchIcons();
