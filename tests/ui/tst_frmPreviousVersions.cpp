// The previous-versions window over real folders: rows, an unreachable destination, compare and restore.
#include "engine/FileBackup.h"
#include "support/EngineFakes.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "ui/dialogs/frmPreviousVersions.h"

#include <QTreeWidget>
#include <QtTest>

class tst_frmPreviousVersions : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void listsRestoresAndCompares()
    {
        TestEnvironment env;
        EngineRig rig;
        FileBackup backup(rig.Context);
        const QString source = env.root() + "/Project Notes", d1 = env.root() + "/Backup A";
        const QString file = source + "/chapter one.txt";
        QDir().mkpath(d1);
        clsBackup& a = rig.AddAssociation(source, true, true, {d1, env.root() + "/USB stick"});
        a.KeepBackup = true;
        a.Versions = 5;
        const auto at = [](int minute) { return QDateTime(QDate(2026, 3, 1), QTime(9, minute)); };
        for (int m = 0; m < 4; ++m) {
            WriteFile(file, "Title\n\nParagraph " + QByteArray::number(m) + " as it was.\nEnd\n", at(m));
            backup.BackupFile(source, 1, file);
        }
        WriteFile(file, "Title\n\nParagraph overwritten by mistake.\nEnd\n", at(30));

        DestinationMounts mounts;
        PreviousVersions versions(rig.State, rig.DriveInfo, mounts, rig.Opts.PrevSaveName);
        frmPreviousVersions w(a, versions, rig.Copier, rig.Recent, nullptr);
        QString diff, told;
        w.Ask.ShowDiff = [&](QWidget*, const QString& d) { diff = d; };
        w.Ask.Tell = [&](QWidget*, const QString& t) { told = t; };
        w.Ask.Confirm = [](QWidget*, const QString&) { return true; };
        w.SetFile(file);
        auto* list = w.findChild<QTreeWidget*>("lstVersions");
        QCOMPARE(list->topLevelItemCount(), 5); // four copies, one unreachable destination
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Current backup"));
        QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("Previous version 2"));
        QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("2026-03-01 09:01:00"));
        QVERIFY(list->topLevelItem(4)->text(3).startsWith(env.root() + "/USB stick ("));

        w.SelectCopy(2);
        w.Compare();
        QVERIFY2(diff.contains("\n-Paragraph 1 as it was.\n+Paragraph overwritten by mistake.\n"),
                 qPrintable(diff));

        w.Restore(false);
        QCOMPARE(ReadFile(file), QByteArray("Title\n\nParagraph 1 as it was.\nEnd\n"));
        // No backup path was given to the window: the overwritten text is kept beside, and the user told.
        QVERIFY2(told.contains("chapter one (before restore "), qPrintable(told));
        const QStringList beside = QDir(source).entryList({"chapter one (before restore *).txt"});
        QCOMPARE(beside.size(), 1);
        QCOMPARE(ReadFile(source + "/" + beside[0]),
                 QByteArray("Title\n\nParagraph overwritten by mistake.\nEnd\n"));
    }
};

QTEST_MAIN(tst_frmPreviousVersions)
#include "tst_frmPreviousVersions.moc"
