#include "core/ProgramState.h"
#include "support/FakeStatusPanels.h"

#include <gtest/gtest.h>

#include <map>

namespace {

clsBackup association(const QString& source)
{
    clsBackup b;
    b.SourcePath = source;
    b.Folder = true;
    b.Enabled = true;
    b.Versions = 3;
    return b;
}

class Collections : public testing::Test
{
  protected:
    Collections() { state.Status = &panels; }

    void add(const QString& source) { ASSERT_NE(state.Backups.Add(association(source), source), nullptr); }

    std::vector<QString> destinationPaths() const
    {
        std::vector<QString> paths;
        for (const clsDestination& d : state.Destinations)
            paths.push_back(d.Path);
        return paths;
    }

    FakeStatusPanels panels;
    ProgramState state;
};

TEST_F(Collections, KeysArePathsExactlyAndPositionsFollowInsertion)
{
    add(QStringLiteral("/data/Work"));
    add(QStringLiteral("/data/work")); // another folder on Linux
    add(QStringLiteral("/home/me/notes.txt"));
    ASSERT_EQ(state.Backups.Count(), 3);
    EXPECT_EQ(state.Backups.Item(1)->SourcePath, QStringLiteral("/data/Work"));
    EXPECT_EQ(state.Backups.Item(2)->SourcePath, QStringLiteral("/data/work"));
    EXPECT_EQ(state.Backups.Item(3)->SourcePath, QStringLiteral("/home/me/notes.txt"));
    EXPECT_EQ(state.Backups.PositionOf(QStringLiteral("/data/work")), 2);
    EXPECT_EQ(state.Backups.Item(QStringLiteral("/DATA/WORK")), nullptr);
    EXPECT_EQ(state.Backups.Item(0), nullptr);
    EXPECT_EQ(state.Backups.Item(4), nullptr);
}

TEST_F(Collections, RefusedDuplicateLeavesEverythingAsItWas)
{
    add(QStringLiteral("/data/Work"));
    add(QStringLiteral("/data/Other"));
    const int updatesBefore = panels.Updates;
    clsBackup duplicate = association(QStringLiteral("/data/Work"));
    duplicate.Versions = 9;
    EXPECT_EQ(state.Backups.Add(duplicate, duplicate.SourcePath), nullptr);
    ASSERT_EQ(state.Backups.Count(), 2);
    EXPECT_EQ(state.Backups.Item(QStringLiteral("/data/Work"))->Versions, 3);
    EXPECT_EQ(state.Backups.Item(2)->SourcePath, QStringLiteral("/data/Other"));
    EXPECT_EQ(panels.Updates, updatesBefore);
}

// Loaded destinations may name no association: they go at the next removal.
TEST_F(Collections, RemovingAnAssociationRemovesExactlyItsDestinationsAndEveryOrphan)
{
    add(QStringLiteral("/data/A"));
    add(QStringLiteral("/data/B"));
    add(QStringLiteral("/data/a"));
    state.Destinations.Add(QStringLiteral("/m/orphan1"), QStringLiteral("/gone"), {});
    state.Destinations.Add(QStringLiteral("/m/1"), QStringLiteral("/data/A"), {});
    state.Destinations.Add(QStringLiteral("/m/2"), QStringLiteral("/data/B"), {});
    state.Destinations.Add(QStringLiteral("/m/3"), QStringLiteral("/data/a"), {});
    state.Destinations.Add(QStringLiteral("/m/4"), QStringLiteral("/data/A"), {});
    state.Destinations.Add(QStringLiteral("/m/orphan2"), QStringLiteral("/gone/too"), {});
    state.Destinations.Add(QStringLiteral("/m/5"), QStringLiteral("/data/B"), {});

    ASSERT_TRUE(state.Backups.Remove(QStringLiteral("/data/A")));
    EXPECT_EQ(destinationPaths(), (std::vector<QString>{"/m/2", "/m/3", "/m/5"}));
    ASSERT_TRUE(state.Backups.Remove(2)); // /data/a, now at position 2
    EXPECT_EQ(destinationPaths(), (std::vector<QString>{"/m/2", "/m/5"}));
    EXPECT_EQ(state.Backups.Item(QStringLiteral("/data/B"))->SourcePath, QStringLiteral("/data/B"));
    EXPECT_EQ(state.Destinations.ForSource(QStringLiteral("/data/B")).size(), 2u);
}

// The count panel shows a blank where the sign would be.
TEST_F(Collections, ClearingRemovesEveryDestinationAndTheCountFollows)
{
    UpdateAssociationCount(state);
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  0 "));
    state.Backups.Clear(); // nothing to remove: orphans stay, as with no removal at all
    state.Destinations.Add(QStringLiteral("/m/orphan"), QStringLiteral("/gone"), {});
    state.Backups.Clear();
    EXPECT_EQ(state.Destinations.Count(), 1);
    for (const char* source : {"/a", "/b", "/c"})
        add(QString::fromLatin1(source));
    state.Destinations.Add(QStringLiteral("/m/a"), QStringLiteral("/a"), {});
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  3 "));
    state.Backups.Remove(3);
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  2 "));
    state.Destinations.Add(QStringLiteral("/m/orphan2"), QStringLiteral("/gone"), {});
    state.Backups.Clear();
    EXPECT_EQ(state.Backups.Count(), 0);
    EXPECT_EQ(state.Destinations.Count(), 0);
    EXPECT_EQ(state.Backups.Item(QStringLiteral("/a")), nullptr);
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  0 "));
    add(QStringLiteral("/a")); // the key is free again
}

} // namespace
