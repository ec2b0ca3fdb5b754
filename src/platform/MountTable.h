#pragma once

#include "platform/Drives.h"

#include <QString>
#include <optional>
#include <vector>

// The mount table as /proc/self/mountinfo gives it. Built from text so tests
// can hand in any table; Load reads the real (or a redirected) file.
class MountTable
{
  public:
    MountTable() = default;
    explicit MountTable(std::vector<MountEntry> entries) : m_entries(std::move(entries)) {}

    static struct MountTableLoad Load(const QString& mountInfoFile = QStringLiteral("/proc/self/mountinfo"));
    // Lines that do not have the mountinfo shape are skipped.
    static MountTable FromText(const QString& text);
    static std::optional<MountEntry> ParseLine(const QString& line);
    // Undoes the kernel's octal escapes (\040 blank, \011 tab, \012 newline, \134 backslash).
    static QString Unescape(const QString& field);

    const std::vector<MountEntry>& Entries() const { return m_entries; }

    // The mount whose mount point is the longest whole-component prefix of path
    // (made absolute and cleaned first); of two mounts on one point the later
    // one, which hides the earlier, wins. A "//server/share/..." path belongs to
    // the network mount whose NetworkRoot holds it.
    std::optional<MountEntry> MountOf(const QString& path) const;
    // The visible mount exactly at mountPoint, if any.
    std::optional<MountEntry> Find(const QString& mountPoint) const;

    // The drive's name: the mount point's last component, "root" for "/".
    static QString DriveName(const QString& mountPoint);

    // The network form of the folder mounted at a network mount, from its
    // source: cifs "//server/share", nfs "server:/export" -> "//server/export",
    // sshfs "user@host:dir" -> "//host/~user/dir" (a relative or empty sshfs
    // folder lies in the user's home on the host; "~" alone without a user),
    // URLs (davfs) "https://host/dir" -> "//host/dir"; a bind mount's root is
    // appended. None for a source of another shape.
    static std::optional<QString> NetworkRoot(const MountEntry& mount);

  private:
    std::optional<MountEntry> networkMountOf(const QString& path) const;

    std::vector<MountEntry> m_entries;
};

struct MountTableLoad
{
    std::optional<MountTable> Table; // empty when the file could not be read
    QString Error;                   // why not, for the caller to report
};
