#include "platform/AutostartEntry.h"

#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

// Qt reads no desktop entries, and GLib's reader would be a new dependency for one
// key, so the few rules of the Desktop Entry format that matter here are written out.

namespace {

const QString kEntryName = QStringLiteral("Savenook");
const QString kSuffix = QStringLiteral(".desktop");

// The value of key in the [Desktop Entry] group, with the string escapes undone.
QString entryValue(const QString& text, const QString& key)
{
    bool inGroup = false;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inGroup || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0 || line.left(equals).trimmed() != key)
            continue;
        const QString value = line.mid(equals + 1).trimmed();
        QString unescaped;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value.at(i) != u'\\' || i + 1 == value.size()) {
                unescaped += value.at(i);
                continue;
            }
            const QChar next = value.at(++i);
            unescaped += next == u's'   ? QChar(u' ')
                         : next == u'n' ? QChar(u'\n')
                         : next == u't' ? QChar(u'\t')
                         : next == u'r' ? QChar(u'\r')
                                        : next;
        }
        return unescaped;
    }
    return {};
}

bool samePath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

bool starts(const QString& entryPath, const QString& program)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    if (entryValue(text, QStringLiteral("Hidden")) == QLatin1String("true"))
        return false;
    QString started = AutostartEntry::ExecProgram(text);
    // A bare name is looked up on the PATH, as the session would.
    if (!started.isEmpty() && !started.contains(u'/'))
        started = QStandardPaths::findExecutable(started);
    return samePath(started, program);
}

} // namespace

namespace AutostartEntry {

QString Folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString NewEntryPath()
{
    const QDir folder(Folder());
    for (int n = 1;; ++n) {
        const QString name =
            n == 1 ? kEntryName + kSuffix : QStringLiteral("%1-%2%3").arg(kEntryName).arg(n).arg(kSuffix);
        if (!QFileInfo::exists(folder.filePath(name)))
            return folder.filePath(name);
    }
}

QString ExecProgram(const QString& entryText)
{
    const QString exec = entryValue(entryText, QStringLiteral("Exec"));
    QString word;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size())
                word += exec.at(++i);
            else if (c == u'"')
                quoted = false;
            else
                word += c;
            continue;
        }
        if (c == u'"')
            quoted = true;
        else if (c == u' ' || c == u'\t')
            break;
        else
            word += c;
    }
    return word.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

QString ExecLine(const QString& program)
{
    // Quoted, with the characters that stay special inside quotes escaped; then
    // the string escape doubles every backslash, and "%" is doubled for the field codes.
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'%', QStringLiteral("%%"));
    return QStringLiteral("\"%1\" nowin").arg(quoted);
}

QStringList EntriesStarting(const QString& program)
{
    QStringList found;
    const QDir folder(Folder());
    for (const QString& name : folder.entryList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Name))
        if (starts(folder.filePath(name), program))
            found << folder.filePath(name);
    return found;
}

bool IsPresent(const QString& program)
{
    return !EntriesStarting(program).isEmpty();
}

bool Apply(bool wanted, const QString& program)
{
    const QStringList ours = EntriesStarting(program);
    if (!wanted) {
        bool removed = true;
        for (const QString& path : ours)
            removed = QFile::remove(path) && removed;
        return removed;
    }
    if (!ours.isEmpty())
        return true;
    if (!QDir().mkpath(Folder()))
        return false;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Savenook\n"
                                        "Comment=Data Preservation Software\n"
                                        "Exec=%1\n"
                                        "Icon=savenook\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(ExecLine(program));
    const QString path = NewEntryPath();
    const QString temp = path + QStringLiteral(".part");
    FileResult result = DurableFile::WriteNew(temp, text.toUtf8());
    if (result)
        result = DurableFile::RenameOver(temp, path);
    if (!result)
        QFile::remove(temp);
    return result.Ok();
}

} // namespace AutostartEntry
