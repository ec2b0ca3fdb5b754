#include "ui/main/VisibleNodePrefs.h"

#include "core/StoreFile.h"

namespace {
const QString kStore = QStringLiteral("nprefs");
} // namespace

namespace VisibleNodePrefs {

QStringList Load()
{
    const StoreContent content = StoreFile::Read(kStore);
    return content.Status == StoreContent::State::Read ? content.Lines : QStringList();
}

bool Save(const QStringList& paths)
{
    return StoreFile::Write(kStore, paths);
}

} // namespace VisibleNodePrefs
