#include "core/ProgramState.h"
#include "support/FakeStatusPanels.h"

#include <gtest/gtest.h>

namespace {

class Collections : public testing::Test
{
  protected:
    Collections() { state.Status = &panels; }

    void add(const QString& source)
    {
        clsBackup b;
        b.SourcePath = source;
        b.Versions = 3;
        ASSERT_NE(state.Backups.Add(b, source), nullptr);
    }

    // One text field of every item, in order.
    template <typename Items, typename Item>
    static std::vector<QString> listOf(const Items& items, QString Item::*field)
    {
        std::vector<QString> result;
        for (const Item& item : items)
            result.push_back(item.*field);
        return result;
    }

    FakeStatusPanels panels;
    ProgramState state;
};

// Case matters on Linux: /data/work is another folder than /data/Work.
TEST_F(Collections, KeysArePathsExactlyAndARefusedDuplicateLeavesEverythingAsItWas)
{
    add(QStringLiteral("/data/Work"));
    add(QStringLiteral("/data/work"));
    add(QStringLiteral("/home/me/notes.txt"));
    const int updatesBefore = panels.Updates;
    EXPECT_EQ(state.Backups.Add(clsBackup(), QStringLiteral("/data/Work")), nullptr);
    EXPECT_EQ(panels.Updates, updatesBefore);
    EXPECT_EQ(listOf(state.Backups, &clsBackup::SourcePath),
              (std::vector<QString>{"/data/Work", "/data/work", "/home/me/notes.txt"}));
    EXPECT_EQ(state.Backups.Item(QStringLiteral("/data/Work"))->Versions, 3);
    EXPECT_EQ(state.Backups.PositionOf(QStringLiteral("/data/work")), 2);
    EXPECT_EQ(state.Backups.Item(QStringLiteral("/DATA/WORK")), nullptr);
    EXPECT_EQ(state.Backups.Item(0), nullptr);
    EXPECT_EQ(state.Backups.Item(4), nullptr);
}

// Loaded destinations may name no association: they go at the next removal, but clearing nothing leaves
// them. The count panel shows a blank where the sign would be.
TEST_F(Collections, RemovingOrClearingRemovesExactlyTheirDestinationsAndEveryOrphanAndTheCountFollows)
{
    UpdateAssociationCount(state);
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  0 "));
    const std::pair<const char*, const char*> destinations[] = {
        {"/m/orphan1", "/gone"}, {"/m/1", "/data/A"},         {"/m/2", "/data/B"}, {"/m/3", "/data/a"},
        {"/m/4", "/data/A"},     {"/m/orphan2", "/gone/too"}, {"/m/5", "/data/B"}};
    for (const auto& [path, source] : destinations)
        state.Destinations.Add(QString::fromLatin1(path), QString::fromLatin1(source), {});
    state.Backups.Clear();
    EXPECT_EQ(state.Destinations.Count(), 7);
    for (const char* source : {"/data/A", "/data/B", "/data/a"})
        add(QString::fromLatin1(source));

    ASSERT_TRUE(state.Backups.Remove(QStringLiteral("/data/A")));
    EXPECT_EQ(listOf(state.Destinations, &clsDestination::Path),
              (std::vector<QString>{"/m/2", "/m/3", "/m/5"}));
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  2 "));
    ASSERT_TRUE(state.Backups.Remove(2)); // /data/a, now at position 2
    EXPECT_EQ(listOf(state.Destinations, &clsDestination::Path), (std::vector<QString>{"/m/2", "/m/5"}));
    EXPECT_EQ(listOf(state.Backups, &clsBackup::SourcePath), std::vector<QString>{"/data/B"});
    state.Backups.Clear();
    EXPECT_EQ(state.Destinations.Count(), 0);
    EXPECT_EQ(panels.PanelText(QStringLiteral("Backups")), QStringLiteral("Total Associations:  0 "));
    add(QStringLiteral("/data/B")); // the key is free again
}

} // namespace
