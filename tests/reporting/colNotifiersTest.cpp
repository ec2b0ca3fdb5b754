#include "reporting/colNotifiers.h"

#include "core/ProgramState.h"

#include <gtest/gtest.h>

namespace {
TEST(colNotifiers, FullQueueDropsItsOldestResults)
{
    ProgramState state;
    colNotifiers queue(state);
    const int extra = 5;
    for (int i = 1; i <= colNotifiers::MaxQueued + extra; ++i)
        queue.Add(QStringLiteral("f"), QStringLiteral("d"), QString::number(i));
    ASSERT_EQ(queue.Count(), colNotifiers::MaxQueued);
    EXPECT_EQ(queue.Item(1)->Message, QString::number(extra + 1));
    EXPECT_EQ(queue.Item(queue.Count())->Message, QString::number(colNotifiers::MaxQueued + extra));
}
} // namespace
