#pragma once

#include "platform/Drives.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

// Which file system each destination lies on, so a copy never lands on another
// one unasked: an unmounted drive leaves its empty mount point behind on the
// disk underneath, and a folder that stood on a drive may now stand on whatever
// is mounted there. Kept in a small store of its own in the data folder, beside
// the line stores, whose layout stays as it is.
//
// The rule: a destination is tied to the mount that held it when a copy into it
// first succeeded (or, once the destination list records it, when the user added
// it). Later copies go ahead only while the mount that holds it now has the same
// mount point, mounted folder and file-system type, and
//  - for a network file system, the same source (server and share: there is no
//    label or UUID to compare),
//  - for a local one, the same UUID when the kernel or udev gives one both times.
// The device node is not compared: a stick in another port or an image on another
// loop device gets another one. The first success is the one moment known to be
// right; a destination whose very first copy falls while its drive is away is tied
// to the disk underneath, which nothing but the user can tell. The destination
// list accepts a new drive by calling Remember with replace when the user adds the
// destination again.
class DestinationMounts
{
  public:
    struct Record
    {
        QString MountPoint, Root, FsType, Source, Id;
    };

    explicit DestinationMounts(QString storeName = QStringLiteral("dmounts"));

    // The drive that holds path now, as a record; none when no mount holds it.
    static std::optional<Record> Describe(const QString& path, const Drives& drives);
    static bool SameDrive(const Record& was, const Record& now);

    // False when path is tied to a drive other than now.
    bool Matches(const QString& path, const Record& now);
    // Ties path to now: only when it is not tied yet, unless replace (the user
    // chose the destination again). Records of paths not in keep are dropped.
    void Remember(const QString& path, const Record& now, const QStringList& keep, bool replace = false);

  private:
    void load();

    QString m_storeName;
    bool m_loaded = false;
    std::map<QString, Record> m_records; // by destination path
};
