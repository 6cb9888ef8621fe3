#include "util/WindowPlacement.h"

#include <gtest/gtest.h>

TEST(WindowPlacement, KeepsReachablePositionsAndCentresTheOthers)
{
    // A 1280 x 800 primary screen with a task bar, and a second one to its right.
    const QRect primary(0, 0, 1280, 770);
    const QRect second(1280, 0, 1920, 1050);
    const QSize window(400, 260); // title bar of 20 included
    const QPoint centred(440, 255);
    const struct
    {
        const char* what;
        QPoint saved;
        QList<QRect> screens;
        QPoint expected;
    } cases[] = {
        {"fits on the primary screen", {354, 247}, {primary, second}, {354, 247}},
        {"fits on the second screen", {2000, 600}, {primary, second}, {2000, 600}},
        {"spans both screens", {1100, 100}, {primary, second}, {1100, 100}},
        {"second screen gone", {2000, 600}, {primary}, centred},
        {"title bar above the screen", {100, -5}, {primary}, centred},
        {"title bar cut at its top", {2000, -1}, {primary, second}, centred},
        {"a third off the left edge", {-130, 100}, {primary}, {-130, 100}},
        {"two thirds visible", {1280 - 267, 100}, {primary}, {1280 - 267, 100}},
        {"less than two thirds visible", {1280 - 266, 100}, {primary}, centred},
        {"bottom third hidden by the task bar", {100, 770 - 174}, {primary}, {100, 770 - 174}},
        {"more than a third below", {100, 770 - 173}, {primary}, centred},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FittedWindowPosition(QRect(c.saved, window), 20, c.screens, primary), c.expected) << c.what;
    }

    // Larger than the screen: its top left corner stays on it.
    EXPECT_EQ(FittedWindowPosition(QRect(QPoint(354, 247), QSize(1500, 900)), 20, {primary}, primary), QPoint(0, 0));
    // No screen known: nothing to correct against.
    EXPECT_EQ(FittedWindowPosition(QRect(QPoint(-900, 5000), window), 20, {}, QRect()), QPoint(-900, 5000));
}
