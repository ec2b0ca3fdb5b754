#include "engine/VersionRotation.h"

#include "platform/FileNames.h"
#include "platform/LocalFiles.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Qt can neither rename over an existing file nor make a hard link, and both are
// what keeps the rotation cheap and never half-written; the standard library can.
fs::path native(const QString& path)
{
    return fs::path(FileNames::Encode(path).toStdString());
}

bool isFile(const QString& path)
{
    return LocalFiles::IsFile(path);
}

bool makeFolder(const QString& path)
{
    return LocalFiles::MakeFolder(path);
}

// Every change to a version file is a rename or a new link, recorded so that a
// failure half-way can put every version back where it was.
class Journal
{
  public:
    bool Rename(const QString& from, const QString& to)
    {
        std::error_code ec;
        fs::rename(native(from), native(to), ec);
        if (ec)
            return false;
        m_steps.push_back(Step{from, to, false});
        return true;
    }
    void Created(const QString& path) { m_steps.push_back(Step{QString(), path, true}); }
    void Undo()
    {
        for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it) {
            std::error_code ec;
            if (it->Created)
                fs::remove(native(it->To), ec);
            else
                fs::rename(native(it->To), native(it->From), ec);
        }
        m_steps.clear();
    }

  private:
    struct Step
    {
        QString From, To;
        bool Created;
    };
    std::vector<Step> m_steps;
};

// A second name for the same content: a hard link where the file system has
// them, else a durable copy with the same permissions.
bool duplicate(const QString& from, const QString& to, FileCopier& copier,
               const std::function<void()>& betweenChunks)
{
    std::error_code ec;
    fs::create_hard_link(native(from), native(to), ec);
    if (!ec)
        return true;
    if (!copier.Copy(from, to, betweenChunks))
        return false;
    LocalFiles::SetPermissions(to, VersionRotation::ModeOf(from));
    return true;
}
} // namespace

QFileDevice::Permissions VersionRotation::ModeOf(const QString& path)
{
    return LocalFiles::Permissions(path);
}

QString VersionRotation::VersionFolder(const QString& folder, const QString& baseName, int k)
{
    return folder + QLatin1Char('/') + baseName + QLatin1Char('-') + QString::number(k);
}

VersionRotation::Result VersionRotation::Rotate(const QString& folder, const QString& fileName,
                                                const QString& baseName, int versions, FileCopier& copier,
                                                const std::function<void()>& betweenChunks)
{
    Result result;
    const QString current = folder + QLatin1Char('/') + fileName;
    if (!isFile(current)) {
        result.NewCopy = true;
        return result;
    }
    result.Attributes = ModeOf(current);
    auto versionFile = [&](int k) {
        return VersionFolder(folder, baseName, k) + QLatin1Char('/') + fileName;
    };

    const QString first = VersionFolder(folder, baseName, 1);
    if (!makeFolder(first)) {
        result.Failed = true;
        return result;
    }
    // The scratch folder takes the first free name, so a left-over one is never
    // touched, and only the one made here is deleted.
    QString scratch = first + QStringLiteral("-S");
    while (LocalFiles::Exists(scratch))
        scratch += QStringLiteral("-S");
    if (!LocalFiles::MakeFolder(scratch)) {
        result.Failed = true;
        return result;
    }

    Journal journal;
    int stashed = 0;
    // A version about to be overwritten moves into the scratch folder first: it
    // is discarded with that folder on success and put back on failure.
    auto stash = [&](const QString& path) {
        return !LocalFiles::Exists(path) ||
               journal.Rename(path, scratch + QStringLiteral("/old-") + QString::number(++stashed));
    };

    const QString staged = scratch + QLatin1Char('/') + fileName;
    bool ok = duplicate(current, staged, copier, betweenChunks);
    for (int k = versions - 1; ok && k >= 1; --k) {
        const QString from = versionFile(k);
        if (!isFile(from))
            continue;
        const QString to = versionFile(k + 1);
        ok = makeFolder(VersionFolder(folder, baseName, k + 1)) && stash(to);
        if (!ok)
            break;
        // A version that nothing below will refill keeps its file (a gap in the
        // numbering stays where it was); otherwise it simply moves up.
        if (k >= 2 && !isFile(versionFile(k - 1))) {
            ok = duplicate(from, to, copier, betweenChunks);
            if (ok)
                journal.Created(to);
        } else {
            ok = journal.Rename(from, to);
        }
    }
    ok = ok && stash(versionFile(1)) && journal.Rename(staged, versionFile(1));

    if (ok) {
        result.Stored = true;
    } else {
        journal.Undo();
        result.Failed = true;
    }
    LocalFiles::RemoveTree(scratch);
    return result;
}
