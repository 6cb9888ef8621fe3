#include <QApplication>

#include "app/InitProg.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Widgets render on the offscreen platform unless a test run asks otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    InitProgModule();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    return RUN_ALL_TESTS();
}
