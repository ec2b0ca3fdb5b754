#include "engine/NetworkPaths.h"

#include "platform/MountTable.h"

#include <QMap>
#include <QSet>
#include <gtest/gtest.h>

namespace {
// Drives described by a mount table text, with chosen readiness and labels.
class TableDrives : public Drives
{
  public:
    explicit TableDrives(const QString& table) : m_table(MountTable::FromText(table)) {}
    std::optional<MountEntry> MountOf(const QString& path) const override { return m_table.MountOf(path); }
    bool IsReady(const QString& mountPoint) const override
    {
        return m_table.Find(mountPoint) && !NotReady.contains(mountPoint);
    }
    QString Label(const QString& mountPoint) const override { return Labels.value(mountPoint); }

    QSet<QString> NotReady;
    QMap<QString, QString> Labels;

  private:
    MountTable m_table;
};

const QString kMounts =
    QStringLiteral("1 0 8:1 / / rw - ext4 /dev/vda1 rw\n"
                   "2 1 0:40 / /mnt/nas rw - cifs //fileserver/Public rw\n"
                   "3 1 0:41 / /mnt/nas\\040two rw - smb3 \\134\\134Box\\134Docs\\134 rw\n"
                   "4 1 0:42 / /mnt/nfs rw - nfs4 storage:/export/home rw\n"
                   "6 1 0:44 / /mnt/ssh rw - fuse.sshfs ann@laptop:/home/ann/work rw\n"
                   "7 1 0:45 / /mnt/sshhome rw - fuse.sshfs ann@laptop: rw\n"
                   "10 1 0:40 /Sub/Dir /srv/bound rw - cifs //fileserver/Public rw\n"
                   "12 1 0:49 / /mnt/ceph rw - ceph 10.0.0.1:6789,10.0.0.2:6789:/ rw\n"
                   "13 1 8:2 / /media/Stick rw - vfat /dev/sdb1 rw\n"
                   "14 1 8:3 / /media/Empty rw - vfat /dev/sdc1 rw\n");

const std::vector<SambaShare> kShares = {
    {"Data", "/srv/data"},
    {"Projects", "/srv/data/projects"},
    {"Music", "/home/ann/Music"},
    {"Whole", "/"}, // last: left out where a row says so
};

TEST(NetworkPaths, GivesTheNetworkFormOrThePathUnchanged)
{
    const TableDrives drives(kMounts);
    const NetworkPaths withRoot(
        drives, [] { return kShares; }, "myhost");
    const NetworkPaths withoutRoot(
        drives, [] { return std::vector<SambaShare>(kShares.begin(), kShares.end() - 1); }, "myhost");
    const struct
    {
        const char *Path, *Expected;
        bool WithRootShare = true;
    } rows[] = {// network mounts (each kind's network form is the mount table's)
                {"/mnt/nas/Docs/a.txt", "//fileserver/Public/Docs/a.txt"},
                {"/mnt/nas", "//fileserver/Public"},
                {"/mnt/nas/", "//fileserver/Public"},
                {"/mnt/nas two/x", "//Box/Docs/x"},
                {"/mnt/nfs/ann/b.txt", "//storage/export/home/ann/b.txt"},
                {"/mnt/ssh/c.txt", "//laptop/home/ann/work/c.txt"},
                {"/mnt/sshhome/notes", "//laptop/~ann/notes"},
                {"/srv/bound/f.txt", "//fileserver/Public/Sub/Dir/f.txt"},
                // a network source of an unknown shape: no network form
                {"/mnt/ceph/a", "/mnt/ceph/a", false},
                // this computer's shares: exact folder first, then whole-component prefix
                {"/srv/data", "//myhost/Data"},
                {"/srv/data/", "//myhost/Data"},
                {"/srv/data/a/b.txt", "//myhost/Data/a/b.txt"},
                {"/srv/data/projects", "//myhost/Projects"},
                {"/srv/data/projects/p1", "//myhost/Data/projects/p1"},
                // the mended fault: /srv/data2 is not inside the share of /srv/data
                {"/srv/data2/x.txt", "/srv/data2/x.txt", false},
                {"/srv/data2/x.txt", "//myhost/Whole/srv/data2/x.txt"},
                // a share whose folder is the root keeps one separator
                {"/etc/hosts", "//myhost/Whole/etc/hosts"},
                {"/", "//myhost/Whole"},
                {"/home/ann/Musical", "/home/ann/Musical", false},
                // a path in no share, and paths already in network form
                {"/home/ann/a.txt", "/home/ann/a.txt", false},
                {"//other/share/x", "//other/share/x"},
                {"", ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Path);
        const QString path = QString::fromUtf8(row.Path);
        const QString unc = (row.WithRootShare ? withRoot : withoutRoot).GetUNCName(path);
        EXPECT_EQ(unc, QString::fromUtf8(row.Expected));
        // the network form of a path on a network mount leads back to that mount
        const auto mount = drives.MountOf(path);
        if (mount && IsNetworkFileSystem(mount->FsType) && NetworkPaths::IsNetworkPath(unc)) {
            const auto back = drives.MountOf(unc);
            ASSERT_TRUE(back.has_value()) << unc.toStdString();
            EXPECT_EQ(back->MountPoint, mount->MountPoint);
        }
    }
}

// Host names compare ignoring case.
TEST(NetworkPaths, RefusesOnlySourcesOnOtherComputersAndHasItsMessage)
{
    const TableDrives drives(kMounts);
    const NetworkPaths paths(
        drives, [] { return kShares; }, "MyHost");
    const std::pair<const char*, bool> rows[] = {
        {"/home/ann/a.txt", false},       {"/srv/data/a.txt", false}, // in this computer's share
        {"//myhost/Data/a.txt", false},   {"//MYHOST/Data", false},
        {"//otherhost/Data/a.txt", true}, {"/mnt/nas/Docs/a.txt", true}, // mounted from another computer
        {"/mnt/ssh/c.txt", true}};
    for (const auto& [path, refused] : rows)
        EXPECT_EQ(paths.RefusesSource(QString::fromUtf8(path)), refused) << path;
    EXPECT_FALSE(NetworkPaths::IsRemoteSource("//Laptop/x", "LAPTOP"));
    EXPECT_TRUE(NetworkPaths::IsRemoteSource("//laptop2/x", "laptop"));
    EXPECT_FALSE(NetworkPaths::IsRemoteSource("/laptop2/x", "laptop"));
    EXPECT_TRUE(NetworkPaths::IsNetworkPath("//server/share"));
    EXPECT_FALSE(NetworkPaths::IsNetworkPath("/server/share"));
    EXPECT_EQ(NetworkPaths::GetComputerFromPath("//server/share/x"), "server");
    EXPECT_EQ(NetworkPaths::GetComputerFromPath("//server"), "server");
    EXPECT_EQ(NetworkPaths::GetComputerFromPath("//"), "");
    EXPECT_EQ(NetworkPaths::GetComputerFromPath("/local/path"), "");
    EXPECT_EQ(NetworkPaths::RemoteSourceMessage,
              "Savenook is unable to automatically back up files on remote machines.");
}

TEST(NetworkPaths, PathVolumeHasThreeOutcomes)
{
    TableDrives drives(kMounts);
    drives.Labels["/media/Stick"] = QString::fromUtf8("M\xc3\xbcsik Stick");
    drives.NotReady.insert("/media/Empty");
    const NetworkPaths paths(drives, {}, "myhost");

    const auto named = paths.GetPathVolume("/media/Stick/a/b.txt");
    EXPECT_EQ(named.State(), NetworkPaths::PathVolume::Outcome::Ready);
    EXPECT_EQ(named.Label(), QString::fromUtf8("M\xc3\xbcsik Stick"));
    EXPECT_EQ(paths.GetPathVolume("/home/ann").Label(), QString("")); // ready, without a label

    const auto notReady = paths.GetPathVolume("/media/Empty/x");
    EXPECT_EQ(notReady.State(), NetworkPaths::PathVolume::Outcome::NotReady);
    EXPECT_FALSE(notReady.Label().has_value());
    EXPECT_EQ(notReady.FailureMessage(), "Drive not ready!");

    drives.Labels["/mnt/nas"] = "NAS";
    EXPECT_EQ(paths.GetPathVolume("//FileServer/Public/Docs").Label(), QString("NAS"));

    for (const QString& gone : {QStringLiteral("//server/share/x"), QString()}) {
        const auto none = paths.GetPathVolume(gone);
        EXPECT_EQ(none.State(), NetworkPaths::PathVolume::Outcome::NoDrive);
        EXPECT_FALSE(none.Label().has_value());
        EXPECT_EQ(none.FailureMessage(), "Drive no longer exists!");
    }
}

} // namespace
