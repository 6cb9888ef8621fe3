#include "dialogs/ScreenScale.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

int MulDiv(int number, int numerator, int denominator)
{
    return int(std::lround(double(number) * numerator / denominator));
}

int ScaleLength(int v, int ppi)
{
    return MulDiv(v, ppi, 96);
}

int ScreenPpi(const QWidget* w)
{
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

void CentreOnScreen(QWidget* w)
{
    const QWidget* active = QApplication::activeWindow();
    const QScreen* screen = active && active->screen() ? active->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect r = screen->geometry();
        w->move(r.left() + (r.width() - w->width()) / 2, r.top() + (r.height() - w->height()) / 2);
    }
}

void ScaleGlyphs(QWidget* control, int from, int to)
{
    if (from <= 0 || MulDiv(100, to, from) < 120)
        return;
    for (QWidget* child : control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (auto* button = qobject_cast<QAbstractButton*>(child))
            button->setIconSize(button->iconSize() * to / from);
        if (!child->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty())
            ScaleGlyphs(child, from, to);
    }
}
