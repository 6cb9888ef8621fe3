#include "dialogs/ScreenScale.h"

#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

TEST(ScreenScale, GlyphsGrowFrom120PercentOn)
{
    QWidget form;
    auto* panel = new QWidget(&form);
    auto* button = new QToolButton(panel);
    button->setIconSize(QSize(16, 16));
    ScaleGlyphs(&form, 96, 110);
    EXPECT_EQ(button->iconSize(), QSize(16, 16));
    ScaleGlyphs(&form, 96, 144);
    EXPECT_EQ(button->iconSize(), QSize(24, 24));
}

} // namespace
