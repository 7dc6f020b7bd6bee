#pragma once

#include <QIcon>
#include <array>

// The four frames of the watch animation (shell/ui/icons/watch-0.svg to watch-3.svg): a
// blue square with a red border and a yellow bar, the bar vertical, rising, horizontal,
// falling; together a turning bar. Frame 0 is the idle picture.
std::array<QIcon, 4> MakeWatchIcons();
