#include "tests/support/ChildEntry.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// The core's test programs run inside a QCoreApplication: everything below the windows
// works without a display.
int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (const std::optional<int> code = RunChildEntry(argc, argv))
        return *code;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
