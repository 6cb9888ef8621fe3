#include "util/WindowPlacement.h"

#include <algorithm>

namespace {

qint64 Area(const QRect& r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// The part of r that some screen shows; screens do not overlap.
qint64 VisibleArea(const QRect& r, const QList<QRect>& screens)
{
    qint64 visible = 0;
    for (const QRect& screen : screens)
        visible += Area(r.intersected(screen));
    return std::min(visible, Area(r));
}

} // namespace

QPoint FittedWindowPosition(const QRect& frame, int titleHeight, const QList<QRect>& screens, const QRect& primary)
{
    if (screens.isEmpty() || primary.isEmpty())
        return frame.topLeft();
    // The title bar must be there to be grabbed: at its full height on some
    // screen. How much of its width shows follows from the two thirds.
    const QRect titleBar(frame.topLeft(), QSize(frame.width(), std::max(1, titleHeight)));
    const bool titleShown = std::any_of(screens.begin(), screens.end(), [&titleBar](const QRect& screen) {
        const QRect shown = titleBar.intersected(screen);
        return !shown.isEmpty() && shown.height() == titleBar.height();
    });
    if (titleShown && 3 * VisibleArea(frame, screens) >= 2 * Area(frame))
        return frame.topLeft();
    const int x = primary.left() + std::max(0, (primary.width() - frame.width()) / 2);
    const int y = primary.top() + std::max(0, (primary.height() - frame.height()) / 2);
    return {x, y};
}
