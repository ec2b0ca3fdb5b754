// nprefs as the main window reads it to open the branches of its tree.
#include "FuzzSupport.h"

#include "ui/main/VisibleNodePrefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::ClearDataFolder();
    Fuzz::WriteFile(Fuzz::DataFolder() + QStringLiteral("/nprefs"),
                    QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const QStringList paths = VisibleNodePrefs::Load();
    if (!VisibleNodePrefs::Save(paths))
        return 0; // a path holding a line break is refused
    Fuzz::Check(VisibleNodePrefs::Load() == paths);
    return 0;
}
