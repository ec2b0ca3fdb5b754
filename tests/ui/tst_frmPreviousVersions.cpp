// The previous-versions window over real folders: rows, unreachable
// destinations, restore with the current file kept, and compare.
#include "engine/FileBackup.h"
#include "support/EngineFakes.h"
#include "support/TestEnvironment.h"
#include "ui/dialogs/frmPreviousVersions.h"

#include <QTreeWidget>
#include <QtTest>

class tst_frmPreviousVersions : public QObject
{
    Q_OBJECT

    static void write(const QString& path, const QByteArray& content, int minute)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.flush(); // else closing writes the bytes, and the time, after it is set
        QVERIFY(
            f.setFileTime(QDateTime(QDate(2026, 3, 1), QTime(9, minute)), QFileDevice::FileModificationTime));
    }
    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

  private Q_SLOTS:
    void listsRestoresAndCompares()
    {
        TestEnvironment env;
        QTemporaryDir tmp;
        EngineRig rig;
        FileBackup backup(rig.Context);
        const QString source = tmp.path() + "/Project Notes", d1 = tmp.path() + "/Backup A";
        const QString file = source + "/chapter one.txt";
        QDir().mkpath(source);
        QDir().mkpath(d1);
        clsBackup& a = rig.AddAssociation(source, true, true, {d1, tmp.path() + "/USB stick"});
        a.KeepBackup = true;
        a.Versions = 5;
        for (int m = 0; m < 4; ++m) {
            write(file, "Title\n\nParagraph " + QByteArray::number(m) + " as it was.\nEnd\n", m);
            backup.BackupFile(source, 1, file);
        }
        write(file, "Title\n\nParagraph overwritten by mistake.\nEnd\n", 30);

        DestinationMounts mounts;
        PreviousVersions versions(rig.State, rig.DriveInfo, mounts, rig.Opts.PrevSaveName);
        frmPreviousVersions w(a, versions, rig.Copier, rig.Recent, nullptr);
        QString diff, told;
        w.Ask.ShowDiff = [&](QWidget*, const QString& d) { diff = d; };
        w.Ask.Tell = [&](QWidget*, const QString& t) { told = t; };
        w.Ask.Confirm = [](QWidget*, const QString&) { return true; };
        w.SetFile(file);
        auto* list = w.findChild<QTreeWidget*>("lstVersions");
        QCOMPARE(list->topLevelItemCount(),
                 5); // four copies, one unreachable destination
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Current backup"));
        QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("Previous version 2"));
        QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("2026-03-01 09:01:00"));
        QVERIFY(list->topLevelItem(4)->text(3).startsWith(tmp.path() + "/USB stick ("));

        w.SelectCopy(2);
        w.Compare();
        QVERIFY2(diff.contains("\n-Paragraph 1 as it was.\n+Paragraph overwritten by mistake.\n"),
                 qPrintable(diff));

        w.Restore(false);
        QCOMPARE(read(file), QByteArray("Title\n\nParagraph 1 as it was.\nEnd\n"));
        // No backup path was given to the window: the overwritten text is kept beside.
        QVERIFY2(told.contains("chapter one (before restore "), qPrintable(told));
        const QStringList beside = QDir(source).entryList({"chapter one (before restore *).txt"});
        QCOMPARE(beside.size(), 1);
        QCOMPARE(read(source + "/" + beside[0]),
                 QByteArray("Title\n\nParagraph overwritten by mistake.\nEnd\n"));
        QVERIFY(rig.LogMessages().back().startsWith("Success: Previous version restored"));
    }
};

QTEST_MAIN(tst_frmPreviousVersions)
#include "tst_frmPreviousVersions.moc"
