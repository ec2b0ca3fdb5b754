#include "platform/VolumeLabels.h"

#include "platform/FileNames.h"
#include "platform/LocalFiles.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// Paths go through their own bytes (FileNames), not QFileInfo: a link whose name
// is not UTF-8 would otherwise be neither listed nor followed.
std::filesystem::path nativePath(const QString& path)
{
    return FileNames::Encode(path).toStdString();
}

// A path with its symbolic links resolved when it exists, else only cleaned,
// so a device that vanished still compares by its name.
QString resolved(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(path, error);
    if (error)
        return QDir::cleanPath(FileNames::Decode(path.native()));
    return FileNames::Decode(canonical.native());
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<QString> VolumeLabels::FromLinks(const QString& device) const
{
    if (device.isEmpty() || !device.startsWith(QLatin1Char('/')))
        return std::nullopt;
    const QString target = resolved(nativePath(device));
    const auto links = LocalFiles::List(m_linkFolder);
    if (!links)
        return std::nullopt;
    for (const LocalFiles::Entry& link : *links) {
        if (link.Type != LocalFiles::Entry::Kind::SymLink)
            continue;
        const std::filesystem::path path = nativePath(m_linkFolder + u'/' + link.Name);
        std::error_code error;
        const std::filesystem::path leadsTo = std::filesystem::read_symlink(path, error);
        if (!error && resolved(path.parent_path() / leadsTo) == target)
            return UnescapeUdev(link.Name);
    }
    return std::nullopt;
}

VolumeLabels::FsLabel VolumeLabels::FromFileSystem(const QString& mountPoint)
{
    const int fd = ::open(FileNames::Encode(mountPoint).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {QString(), errno};
    char label[FSLABEL_MAX + 1] = {};
    const int rc = ::ioctl(fd, FS_IOC_GETFSLABEL, label);
    const int error = rc < 0 ? errno : 0;
    ::close(fd);
    if (error != 0)
        return {QString(), error};
    label[FSLABEL_MAX] = '\0';
    return {QString::fromUtf8(label), 0};
}

namespace {
// Older kernel headers lack the ioctl; its number and layout are fixed.
struct FsUuid
{
    __u8 len;
    __u8 uuid[16];
};
constexpr unsigned long GetFsUuid = _IOR(0x15, 0, FsUuid);
} // namespace

QString VolumeLabels::UuidFromFileSystem(const QString& mountPoint)
{
    const int fd = ::open(FileNames::Encode(mountPoint).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return QString();
    FsUuid id = {};
    id.len = sizeof id.uuid;
    const int rc = ::ioctl(fd, GetFsUuid, &id);
    ::close(fd);
    // A file system without one reports zeros.
    if (rc != 0 || id.len == 0 || id.len > sizeof id.uuid ||
        std::all_of(id.uuid, id.uuid + id.len, [](__u8 b) { return b == 0; }))
        return QString();
    QString text;
    for (int i = 0; i < id.len; ++i) {
        if (id.len == 16 && (i == 4 || i == 6 || i == 8 || i == 10))
            text += QLatin1Char('-');
        text += QStringLiteral("%1").arg(id.uuid[i], 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString VolumeLabels::UnescapeUdev(const QString& linkName)
{
    const QByteArray in = FileNames::Encode(linkName);
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            const int high = hexValue(in[i + 2]);
            const int low = hexValue(in[i + 3]);
            if (high >= 0 && low >= 0) {
                out.append(char(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}
