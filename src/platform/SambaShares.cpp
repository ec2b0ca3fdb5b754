#include "platform/SambaShares.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <optional>

namespace {
// Far larger than any real configuration; bounds what one include can make us read.
constexpr qint64 kMaxConfigBytes = 4 * 1024 * 1024;
// Samba ignores case and all blanks in section and parameter names.
QString normalName(const QString& name)
{
    QString out;
    for (QChar c : name) {
        if (!c.isSpace())
            out.append(c.toLower());
    }
    return out;
}

struct Parameter
{
    QString Key; // normalised
    QString Value;
};

std::optional<Parameter> parseParameter(const QString& rawLine)
{
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
        return std::nullopt;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return std::nullopt;
    return Parameter{normalName(line.left(eq)), line.mid(eq + 1).trimmed()};
}

// The value of the last setting of any of keys in the lines, or none.
std::optional<QString> lastValue(const QStringList& lines, std::initializer_list<QLatin1String> keys)
{
    std::optional<QString> found;
    for (const QString& line : lines) {
        const auto p = parseParameter(line);
        if (!p)
            continue;
        for (QLatin1String key : keys) {
            if (p->Key == key)
                found = p->Value;
        }
    }
    return found;
}

bool isOneOf(const std::optional<QString>& value, std::initializer_list<const char*> words)
{
    if (!value)
        return false;
    const QString v = value->toLower();
    return std::any_of(words.begin(), words.end(),
                       [&](const char* word) { return v == QLatin1String(word); });
}

bool isFalse(const std::optional<QString>& value)
{
    return isOneOf(value, {"no", "false", "0", "off"});
}

bool isTrue(const std::optional<QString>& value)
{
    return isOneOf(value, {"yes", "true", "1", "on"});
}

struct Section
{
    QString Name;
    QStringList Lines;
};

// Reads the configuration with its included files spliced in where they are
// named, as Samba does, into sections. Sections named twice are merged.
class ConfigReader
{
  public:
    explicit ConfigReader(QStringList& problems) : m_problems(problems) {}

    void ReadFile(const QString& fileName, int depth)
    {
        QFileInfo info(fileName);
        if (!info.exists())
            return; // no Samba, or an include that is not there: nothing shared by it
        // A pipe would block the start-up for good and a device would never end.
        if (!info.isFile()) {
            m_problems.append(QStringLiteral("Not a regular file: %1").arg(fileName));
            return;
        }
        const QString key = info.canonicalFilePath();
        if (m_open.contains(key) || depth > 16) {
            m_problems.append(QStringLiteral("Include loop at %1").arg(fileName));
            return;
        }
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            m_problems.append(QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()));
            return;
        }
        m_open.insert(key);
        const QStringList lines = joinContinuations(QString::fromUtf8(file.read(kMaxConfigBytes)));
        for (const QString& raw : lines) {
            const QString line = raw.trimmed();
            if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
                openSection(line.mid(1, line.size() - 2).trimmed());
                continue;
            }
            const auto p = parseParameter(line);
            if (!p)
                continue;
            if (p->Key == QLatin1String("include")) {
                // Samba fills in %-macros per client; a file named with one cannot be known here.
                if (!p->Value.isEmpty() && !p->Value.contains(QLatin1Char('%')))
                    ReadFile(QDir(info.absolutePath()).absoluteFilePath(p->Value), depth + 1);
                continue;
            }
            m_sections[m_current].Lines.append(line);
        }
        m_open.remove(key);
    }

    const std::vector<Section>& Sections() const { return m_sections; }

  private:
    static QStringList joinContinuations(const QString& text)
    {
        QStringList out;
        QString pending;
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (QString line : lines) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (line.endsWith(QLatin1Char('\\'))) {
                line.chop(1);
                pending += line;
                continue;
            }
            out.append(pending + line);
            pending.clear();
        }
        if (!pending.isEmpty())
            out.append(pending);
        return out;
    }

    void openSection(const QString& name)
    {
        const QString key = normalName(name);
        auto it = m_index.find(key);
        if (it == m_index.end()) {
            it = m_index.emplace(key, m_sections.size()).first;
            m_sections.push_back(Section{name, {}});
        }
        m_current = it->second;
    }

    QStringList& m_problems;
    QSet<QString> m_open; // files being read now, to stop include loops
    // Parameters before any section header belong to [global].
    std::vector<Section> m_sections{Section{QStringLiteral("global"), {}}};
    std::map<QString, size_t> m_index{{QStringLiteral("global"), 0}};
    size_t m_current = 0;
};

bool addShare(std::vector<SambaShare>& shares, const QString& name, const QString& rawPath)
{
    // A folder named with %-macros depends on the client and cannot be matched.
    if (name.isEmpty() || rawPath.isEmpty() || rawPath.contains(QLatin1Char('%')) ||
        !rawPath.startsWith(QLatin1Char('/')))
        return false;
    for (const SambaShare& s : shares) {
        if (s.Name.compare(name, Qt::CaseInsensitive) == 0)
            return false; // share names ignore case; the first definition stands
    }
    shares.push_back(SambaShare{name, QDir::cleanPath(rawPath)});
    return true;
}
} // namespace

SambaShares::ReadResult SambaShares::Read() const
{
    ReadResult result;
    ConfigReader reader(result.Problems);
    reader.ReadFile(m_configFile, 0);

    QString userSharesFolder = m_userSharesFolder;
    for (const Section& section : reader.Sections()) {
        const QString key = normalName(section.Name);
        if (key == QLatin1String("global")) {
            if (auto folder = lastValue(section.Lines, {QLatin1String("usersharepath")});
                folder && !folder->isEmpty())
                userSharesFolder = *folder;
            continue;
        }
        if (key == QLatin1String("printers") ||
            isTrue(lastValue(section.Lines, {QLatin1String("printable"), QLatin1String("printok")})) ||
            isFalse(lastValue(section.Lines, {QLatin1String("available")})))
            continue;
        // [homes] without a path is every user's home, not one folder: skipped here.
        addShare(result.Shares, section.Name, GetSharePathFromValue(section.Lines.join(QLatin1Char('\n'))));
    }

    const QDir folder(userSharesFolder);
    if (!folder.exists())
        return result;
    if (!QFileInfo(userSharesFolder).isReadable()) {
        result.Problems.append(QStringLiteral("Cannot read %1").arg(userSharesFolder));
        return result;
    }
    const QFileInfoList files = folder.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            result.Problems.append(
                QStringLiteral("Cannot read %1: %2").arg(info.filePath(), file.errorString()));
            continue;
        }
        const QString text = QString::fromUtf8(file.read(kMaxConfigBytes));
        // The file name is the share name in lower case; "sharename=" keeps its spelling.
        const auto spelled = lastValue(text.split(QLatin1Char('\n')), {QLatin1String("sharename")});
        addShare(result.Shares, spelled && !spelled->isEmpty() ? *spelled : info.fileName(),
                 GetSharePathFromValue(text));
    }
    return result;
}

QString SambaShares::GetSharePathFromValue(const QString& definition)
{
    // Lines may also be NUL-separated, as share tables kept elsewhere store them.
    QString text = definition;
    text.replace(QChar(u'\0'), QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    // "directory" is Samba's other name for "path"; the last setting wins.
    return lastValue(text.split(QLatin1Char('\n')), {QLatin1String("path"), QLatin1String("directory")})
        .value_or(QString());
}
