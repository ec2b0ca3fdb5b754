#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// The watch timer and the end-to-end tests need an event loop.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    // The backup keeps a store of its own in the data folder: never the real one.
    TestEnvironment environment;
    return RUN_ALL_TESTS();
}
