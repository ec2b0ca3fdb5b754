// The whole watching path on real folders, from the inotify event to the durable copy.

#include "LiveEngine.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

// The third save comes within the same second and processing as the second: it is copied too.
TEST(EngineEndToEndTest, FirstSavePreviousVersionASaveDuringTheCopyThenNoTicks)
{
    LiveEngine live;
    ASSERT_TRUE(live.WatchRoot(false));
    live.Save("a.txt", "one");
    ASSERT_TRUE(runUntil([&] { return live.CopyOf("a.txt") == "one"; }));

    live.Copier.OnCommit = [&, once = true](const QString&) mutable {
        if (std::exchange(once, false))
            live.Save("a.txt", "three");
    };
    live.Save("a.txt", "two");
    ASSERT_TRUE(runUntil(
        [&] { return live.CopyOf("a.txt") == "three" && live.CopyOf("~PrevSave-1/a.txt") == "two"; }));

    ASSERT_TRUE(runUntil([&] { return live.Run.NextTickMs() == -1; }));
    live.Run.SetTickHook([] { ADD_FAILURE() << "a tick while idle"; });
    QTest::qWait(500);
}

// With the product's pacing: the wait for a writer ends once it has closed the file.
TEST(WriterWaitTest, SavesAreCopiedOnceSoonAfterTheWriterClosesAndAnOpenFileAfterTheFullWait)
{
    LiveEngine live;
    live.Wait.Divisor = 1;
    struct Commit
    {
        QString Name;
        QByteArray Content;
        int Tick;
    };
    std::vector<Commit> commits;
    int ticks = 0;
    live.Copier.OnCommit = [&](const QString& target) {
        if (!target.contains(QStringLiteral("~PrevSave")))
            commits.push_back({QFileInfo(target).fileName(), ReadFile(target), ticks});
    };
    live.Run.SetTickHook([&] { ++ticks; });
    for (const char* name : {"/x", "/y"}) {
        QDir().mkpath(live.Root + name);
        live.AssociateFolder(live.Root + name, false, live.Backup);
    }
    ASSERT_TRUE(live.WatchRoot(false));

    // A burst across folders is handled in one tick.
    QElapsedTimer clock;
    clock.start();
    for (const char* name : {"a.txt", "x/f.txt", "y/f.txt"})
        live.Save(name, "saved");
    ASSERT_TRUE(runUntil([&] { return commits.size() == 3; }));
    EXPECT_LT(clock.elapsed(), 300);
    EXPECT_EQ(commits.front().Tick, commits.back().Tick);

    // Ten chunks 50 ms apart from another thread, as the engine runs on this one.
    std::thread writer([path = live.Root + "/c.txt"] {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return;
        for (int i = 0; i < 10; ++i) {
            out.write(QByteArray(1000, char('0' + i)));
            out.flush();
            QThread::msleep(50);
        }
    });
    QTest::qWait(700);
    writer.join();
    QTest::qWait(1000);

    ASSERT_EQ(commits.size(), 4u) << "copied once, once closed";
    EXPECT_EQ(commits.back().Name, QStringLiteral("c.txt"));
    EXPECT_EQ(commits.back().Content, ReadFile(live.Root + "/c.txt"));

    // A file held open is copied after the full wait.
    QFile log(live.Root + "/log.txt");
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    clock.restart();
    log.write("line\n");
    log.flush();
    ASSERT_TRUE(runUntil([&] { return commits.size() == 5; }, 3000));
    EXPECT_GE(clock.elapsed(), ChangedFolderScan::TopFolderWaitMs);
    EXPECT_EQ(commits.back().Content, "line\n");
}

} // namespace
