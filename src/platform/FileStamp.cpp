#include "platform/FileStamp.h"

#include "platform/FileNames.h"

#include <sys/stat.h>

FileStamp FileStamp::Of(const QString& path, bool followLinks)
{
    FileStamp stamp;
    struct stat st
    {
    };
    const QByteArray native = FileNames::Encode(path);
    if ((followLinks ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0)
        return stamp;
    stamp.Exists = true;
    stamp.Regular = S_ISREG(st.st_mode);
    stamp.SymLink = S_ISLNK(st.st_mode);
    stamp.Size = st.st_size;
    stamp.ModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}
