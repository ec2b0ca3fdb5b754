// usrdatab, usrdatad and pprefs as they are read at start-up. Input: the three
// files, separated by form feeds.
#include "StoreChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayList files = Fuzz::Parts(data, size, 3);
    Fuzz::ClearDataFolder();
    Fuzz::WriteFile(Fuzz::DataFolder() + QStringLiteral("/usrdatab"), files[0]);
    Fuzz::WriteFile(Fuzz::DataFolder() + QStringLiteral("/usrdatad"), files[1]);
    Fuzz::WriteFile(Fuzz::DataFolder() + QStringLiteral("/pprefs"), files[2]);
    Fuzz::LoadAndRoundTrip();
    LoadPausedState();
    return 0;
}
