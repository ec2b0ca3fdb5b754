// Labels as udev names its by-label links: the input is one link's name, read
// back through the link folder seam.
#include "FuzzSupport.h"

#include "platform/FileNames.h"
#include "platform/LocalFiles.h"
#include "platform/VolumeLabels.h"

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    VolumeLabels::UnescapeUdev(FileNames::Decode(bytes));

    // A file name cannot hold "/" or NUL, nor be longer than 255 bytes.
    QByteArray name = bytes.left(255);
    name.replace('/', '_').replace('\0', '_');
    if (name.isEmpty() || name == "." || name == "..")
        return 0;
    const QString folder = Fuzz::Home() + QStringLiteral("/by-label");
    // QDir would not see, so not remove, a link whose name is not UTF-8.
    LocalFiles::RemoveTree(folder);
    LocalFiles::MakeFolder(folder);
    const QString device = Fuzz::Home() + QStringLiteral("/sdz1");
    Fuzz::WriteFile(device, {});
    Fuzz::Check(::symlink("../sdz1", (FileNames::Encode(folder) + '/' + name).constData()) == 0);
    const std::optional<QString> label = VolumeLabels(folder).FromLinks(device);
    Fuzz::Check(label.has_value());
    return 0;
}
