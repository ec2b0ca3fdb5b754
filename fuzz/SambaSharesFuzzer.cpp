// smb.conf text and one user share file (separated by a form feed in the
// input), read through the configuration seams.
#include "FuzzSupport.h"

#include "platform/SambaShares.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayList files = Fuzz::Parts(data, size, 2);
    const QString config = Fuzz::Home() + QStringLiteral("/smb.conf");
    const QString userShares = Fuzz::Home() + QStringLiteral("/usershares");
    QDir(userShares).removeRecursively();
    QDir().mkpath(userShares);
    Fuzz::WriteFile(config, files[0]);
    Fuzz::WriteFile(userShares + QStringLiteral("/share"), files[1]);

    const SambaShares::ReadResult result = SambaShares(config, userShares).Read();
    for (const SambaShare& share : result.Shares)
        Fuzz::Check(!share.Name.isEmpty() && share.Path.startsWith(u'/'));
    SambaShares::GetSharePathFromValue(QString::fromUtf8(files[0]));
    return 0;
}
