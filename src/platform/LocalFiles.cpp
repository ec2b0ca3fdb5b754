#include "platform/LocalFiles.h"

#include "platform/FileNames.h"
#include "platform/FilePath.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct PermissionBit
{
    mode_t Mode;
    QFileDevice::Permission Flag;
    QFileDevice::Permission UserFlag; // Qt's per-process flag set counts as the owner's
};

constexpr PermissionBit kBits[] = {
    {S_IRUSR, QFileDevice::ReadOwner, QFileDevice::ReadUser},
    {S_IWUSR, QFileDevice::WriteOwner, QFileDevice::WriteUser},
    {S_IXUSR, QFileDevice::ExeOwner, QFileDevice::ExeUser},
    {S_IRGRP, QFileDevice::ReadGroup, QFileDevice::ReadGroup},
    {S_IWGRP, QFileDevice::WriteGroup, QFileDevice::WriteGroup},
    {S_IXGRP, QFileDevice::ExeGroup, QFileDevice::ExeGroup},
    {S_IROTH, QFileDevice::ReadOther, QFileDevice::ReadOther},
    {S_IWOTH, QFileDevice::WriteOther, QFileDevice::WriteOther},
    {S_IXOTH, QFileDevice::ExeOther, QFileDevice::ExeOther},
};

std::optional<struct stat> statOf(const QString& path, bool followLinks)
{
    struct stat st;
    const QByteArray native = FileNames::Encode(path);
    if ((followLinks ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0)
        return std::nullopt;
    return st;
}

LocalFiles::Entry::Kind kindOf(mode_t mode)
{
    using Kind = LocalFiles::Entry::Kind;
    if (S_ISREG(mode))
        return Kind::File;
    if (S_ISDIR(mode))
        return Kind::Folder;
    if (S_ISLNK(mode))
        return Kind::SymLink;
    return Kind::Other;
}

} // namespace

namespace LocalFiles {

std::optional<std::vector<Entry>> List(const QString& folder)
{
    const QByteArray native = FileNames::Encode(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir)
        return std::nullopt;
    std::vector<Entry> entries;
    while (const dirent* item = ::readdir(dir)) {
        const char* name = item->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        Entry entry;
        entry.Name = FileNames::Decode(name);
        switch (item->d_type) {
        case DT_REG:
            entry.Type = Entry::Kind::File;
            break;
        case DT_DIR:
            entry.Type = Entry::Kind::Folder;
            break;
        case DT_LNK:
            entry.Type = Entry::Kind::SymLink;
            break;
        case DT_UNKNOWN: {
            // Some file systems do not fill in the type.
            struct stat st;
            if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                entry.Type = kindOf(st.st_mode);
            break;
        }
        default:
            break;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}

bool Exists(const QString& path)
{
    return statOf(path, false).has_value();
}

bool IsFile(const QString& path)
{
    const auto st = statOf(path, true);
    return st && S_ISREG(st->st_mode);
}

bool IsFolder(const QString& path)
{
    const auto st = statOf(path, true);
    return st && S_ISDIR(st->st_mode);
}

bool MakeFolder(const QString& path)
{
    return ::mkdir(FileNames::Encode(path).constData(), 0777) == 0 || (errno == EEXIST && IsFolder(path));
}

bool RemoveTree(const QString& path)
{
    const auto st = statOf(path, false);
    if (!st)
        return errno == ENOENT;
    if (!S_ISDIR(st->st_mode))
        return ::unlink(FileNames::Encode(path).constData()) == 0;
    bool all = true;
    if (const auto entries = List(path))
        for (const Entry& entry : *entries)
            all = RemoveTree(FilePath::Join(path, entry.Name)) && all;
    return ::rmdir(FileNames::Encode(path).constData()) == 0 && all;
}

QFileDevice::Permissions Permissions(const QString& path)
{
    QFileDevice::Permissions permissions;
    const auto st = statOf(path, true);
    if (!st)
        return permissions;
    for (const PermissionBit& bit : kBits)
        if (st->st_mode & bit.Mode)
            permissions |= bit.Flag;
    return permissions;
}

bool SetPermissions(const QString& path, QFileDevice::Permissions permissions)
{
    mode_t mode = 0;
    for (const PermissionBit& bit : kBits)
        if (permissions & (bit.Flag | bit.UserFlag))
            mode |= bit.Mode;
    return ::chmod(FileNames::Encode(path).constData(), mode) == 0;
}

} // namespace LocalFiles
