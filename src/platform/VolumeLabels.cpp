#include "platform/VolumeLabels.h"

#include "platform/FileNames.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// A path with its symbolic links resolved when it exists, else only cleaned,
// so a device that vanished still compares by its name.
QString resolved(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
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
    const QString target = resolved(device);
    const QDir folder(m_linkFolder);
    const QFileInfoList links =
        folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink())
            continue;
        if (resolved(link.symLinkTarget()) == target)
            return UnescapeUdev(link.fileName());
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

QString VolumeLabels::UnescapeUdev(const QString& linkName)
{
    const QByteArray in = QFile::encodeName(linkName);
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
