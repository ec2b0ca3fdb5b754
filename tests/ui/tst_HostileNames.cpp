// Hostile names through the adding commands, a drop and the destination list:
// each is added and kept across a restart, or refused with a clear message;
// either way nothing already kept is lost.
#include "core/Stores.h"
#include "platform/FileNames.h"
#include "platform/LocalFiles.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/UiFakes.h"
#include "ui/dialogs/frmProperties.h"
#include "ui/main/frmSavenook.h"

#include <QTreeWidget>
#include <QtTest>

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {
// Makes root/relative by its bytes (a folder when it ends in "/"); its path.
QString make(const QString& root, const QByteArray& relative)
{
    QByteArray path = FileNames::Encode(root);
    const QList<QByteArray> parts = relative.split('/');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += '/' + parts[i];
        if (::mkdir(path.constData(), 0755) != 0 && errno != EEXIST)
            return {};
    }
    if (!parts.last().isEmpty()) {
        path += '/' + parts.last();
        WriteRawFile(path, "x");
    }
    return FileNames::Decode(path);
}

QByteArray deepFolder()
{
    QByteArray deep;
    for (int i = 0; i < 15; ++i)
        deep += QByteArray(250, 'd') + char('a' + i) + '/';
    return deep;
}
} // namespace

class tst_HostileNames : public QObject
{
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::optional<ProgramState> m_state;
    FakeDrives m_drive;
    ScriptedPrompts m_prompts;
    QString m_kept; // an association saved before, which nothing may cost

    QStringList reloaded() const
    {
        ProgramState back;
        LoadBackups(back);
        LoadDestinations(back);
        QStringList paths;
        for (const clsBackup& b : back.Backups)
            paths << b.SourcePath;
        for (const clsDestination& d : back.Destinations)
            paths << "-> " + d.Path;
        return paths;
    }

  private Q_SLOTS:
    void init()
    {
        m_env.emplace();
        m_state.emplace();
        m_prompts = ScriptedPrompts();
        m_kept = make(m_env->root(), "kept.txt");
        clsBackup b;
        b.SourcePath = m_kept;
        m_state->Backups.Add(b, m_kept);
        m_state->Destinations.Add(m_env->root() + "/Backup", m_kept, "SYSTEM");
        QVERIFY(SaveBackups(*m_state) && SaveDestinations(*m_state));
    }
    void addingKeepsOrRefuses_data()
    {
        QTest::addColumn<QString>("how"); // file, folder, drop
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("refusal"); // empty: added
        QTest::newRow("bars") << "drop" << QByteArray("a|b|c.txt") << "";
        QTest::newRow("trailing blank") << "drop" << QByteArray("ends in a blank ") << "";
        QTest::newRow("leading dash") << "drop" << QByteArray("-rf/") << "";
        QTest::newRow("255-byte name") << "file" << QByteArray(251, 'n') + ".txt"
                                       << "";
        QTest::newRow("4000-byte path") << "folder" << deepFolder() + QByteArray(200, 'n') + "/"
                                        << "";
        QTest::newRow("not UTF-8, dropped") << "drop" << QByteArray("caf\xe9.txt") << "not valid UTF-8";
        QTest::newRow("not UTF-8, folder") << "folder" << QByteArray("d\xff/") << "not valid UTF-8";
        QTest::newRow("line feed, dropped") << "drop" << QByteArray("a\nb.txt") << "line break";
    }
    void addingKeepsOrRefuses()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, name);
        QFETCH(QString, refusal);
        const QString path = make(m_env->root(), name);
        QVERIFY(!path.isEmpty());
        frmSavenook w(*m_state);
        w.Svc.DriveInfo = &m_drive;
        w.SetPrompts(&m_prompts);
        w.Load({});
        m_prompts.Files = {path};
        m_prompts.Folder = path;
        if (how == "file") {
            w.MenuAddFile();
        } else if (how == "folder") {
            w.MenuAddFolder();
        } else {
            // As a file manager puts it: the name's bytes, percent-encoded; only the
            // first name counts.
            QMimeData data;
            data.setUrls({QUrl::fromEncoded("file://" + FileNames::Encode(path).toPercentEncoding("/")),
                          QUrl::fromLocalFile(make(m_env->root(), "second"))});
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&w, &enter);
            QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&w, &drop);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_state->Backups.Count() + m_prompts.Shown.size(), 2, 3000);
        if (refusal.isEmpty()) {
            QCOMPARE(m_prompts.Shown, QStringList());
            QCOMPARE(reloaded().mid(0, 2), (QStringList{m_kept, path}));
        } else {
            QCOMPARE(m_prompts.Shown.size(), 1);
            QVERIFY2(m_prompts.Shown.first().contains(refusal), qPrintable(m_prompts.Shown.first()));
            QVERIFY(m_prompts.Shown.first().contains(m_env->root())); // says which
            QCOMPARE(reloaded(), (QStringList{m_kept, "-> " + m_env->root() + "/Backup"}));
        }
        LocalFiles::RemoveTree(m_env->root() + "/" + FileNames::Decode(name.split('/').first()));
    }

    // A destination folder whose name no store can keep is refused when chosen.
    void destinationTheStoresCannotKeepIsRefused()
    {
        for (const QByteArray& name : {QByteArray("back\nup/"), QByteArray("back\xffup/")}) {
            const QString folder = make(m_env->root(), name);
            m_prompts = ScriptedPrompts();
            m_prompts.Folder = folder;
            m_state->PropertiesPath = m_kept;
            frmProperties d(*m_state, m_drive, {}, {}, m_prompts);
            d.cmdAdd_Click();
            QCOMPARE(m_prompts.Shown.size(), 1);
            QVERIFY(m_prompts.Shown.first().startsWith("Savenook cannot back up into a folder whose name"));
            QCOMPARE(d.listDestinations->topLevelItemCount(), 1);
            d.cmdOk_Click();
            QCOMPARE(reloaded(), (QStringList{m_kept, "-> " + m_env->root() + "/Backup"}));
            LocalFiles::RemoveTree(folder);
        }
    }
};

QTEST_MAIN(tst_HostileNames)
#include "tst_HostileNames.moc"
