#include "engine/colDetectedFiles.h"

#include <algorithm>

bool colDetectedFiles::Contains(const QString& path, qint64 modifiedNs, qint64 size) const
{
    return std::any_of(begin(), end(), [&](const clsDetectedFile& f) {
        return f.Path == path && f.ModifiedNs == modifiedNs && f.Size == size && !f.ModifiedDate.isEmpty();
    });
}
