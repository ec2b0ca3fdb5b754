// Loading a scheme: NAME.sch and NAME.sch.dst (separated by a form feed in the
// input) replace the association stores, which are then loaded as the program does.
#include "StoreChecks.h"

#include "core/SchemeFiles.h"
#include "core/StoreFile.h"

namespace {
// Stores in place before the load, so a failed load can be seen to leave them alone.
const QByteArray kBackups =
    "/home/u/a.txt\r\n\r\n1\r\nNever\r\nNever\r\n0\r\n1\r\n0\r\n5\r\n0\r\n0\r\n0\r\n1\r\n";
const QByteArray kDestinations = "/media/b\r\n/home/u/a.txt\r\nB\r\n";
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayList files = Fuzz::Parts(data, size, 2);
    Fuzz::ClearDataFolder();
    const QString backups = Fuzz::DataFolder() + QStringLiteral("/usrdatab");
    const QString destinations = Fuzz::DataFolder() + QStringLiteral("/usrdatad");
    Fuzz::WriteFile(backups, kBackups);
    Fuzz::WriteFile(destinations, kDestinations);
    Fuzz::Check(SchemeFiles::MakeFolder());
    const QString scheme = SchemeFiles::Folder() + QStringLiteral("/fuzz.sch");
    Fuzz::WriteFile(scheme, files[0]);
    Fuzz::WriteFile(scheme + QStringLiteral(".dst"), files[1]);

    QString error;
    const SchemeFiles::LoadResult result = SchemeFiles::Load(QStringLiteral("fuzz.sch"), &error);
    Fuzz::Check(result != SchemeFiles::LoadResult::Missing);
    if (result == SchemeFiles::LoadResult::Failed) {
        Fuzz::Check(!error.isEmpty());
        Fuzz::Check(Fuzz::ReadFile(backups) == kBackups && Fuzz::ReadFile(destinations) == kDestinations);
        return 0;
    }
    // Loaded: each store holds its file's values, written as every store is.
    Fuzz::Check(Fuzz::ReadFile(backups) == StoreFile::EncodeLines(StoreFile::DecodeLines(files[0])));
    Fuzz::Check(Fuzz::ReadFile(destinations) == StoreFile::EncodeLines(StoreFile::DecodeLines(files[1])));
    Fuzz::LoadAndRoundTrip();
    return 0;
}
