// /proc/self/mountinfo text, read through the file seam, and the look-ups that
// follow from its entries.
#include "FuzzSupport.h"

#include "platform/MountTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString file = Fuzz::Home() + QStringLiteral("/mountinfo");
    Fuzz::WriteFile(file, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const MountTableLoad load = MountTable::Load(file);
    Fuzz::Check(load.Table.has_value());
    const MountTable& table = *load.Table;
    for (const MountEntry& entry : table.Entries()) {
        Fuzz::Check(entry.MountPoint.startsWith(u'/'));
        // Every mount point (clean, as the kernel writes them) lies on a mount.
        if (entry.MountPoint == QDir::cleanPath(entry.MountPoint))
            Fuzz::Check(table.MountOf(entry.MountPoint).has_value());
        table.Find(entry.MountPoint);
        MountTable::DriveName(entry.MountPoint);
        if (const auto root = MountTable::NetworkRoot(entry)) {
            Fuzz::Check(root->startsWith(QStringLiteral("//")));
            table.MountOf(*root + QStringLiteral("/a/b"));
        }
        table.MountOf(entry.MountPoint + QStringLiteral("/x"));
    }
    return 0;
}
