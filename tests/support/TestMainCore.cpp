#include <QCoreApplication>

#include "app/InitProg.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    InitProgModule();
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
