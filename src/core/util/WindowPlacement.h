#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

// Where a window opens. `frame` is the window at its saved (or design)
// position, title bar included; `titleHeight` is the height of its title bar
// at the top of the frame. The position is kept when the title bar shows at
// its full height on some screen and at least two thirds of the window lie
// in the available areas of the screens; otherwise the window is centred in `primary`, the primary
// screen's available area (its top left corner kept inside that area when
// the window is larger). Without any screen the position is kept.
QPoint FittedWindowPosition(const QRect& frame, int titleHeight, const QList<QRect>& screens, const QRect& primary);
