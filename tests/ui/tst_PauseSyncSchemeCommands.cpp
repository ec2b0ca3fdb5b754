#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "support/UiFakes.h"

#include "core/SchemeFiles.h"
#include "core/Stores.h"
#include "ui/main/SavenookApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Presses the button with this text in the next message box that opens; records its text.
void answerNextBox(const QString& button, QString* seen)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->deleteLater();
        timer->stop();
        *seen = box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text().remove(u'&') == button)
                b->click();
    });
    timer->start(20);
}

} // namespace

class tst_PauseSyncSchemeCommands : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void pauseSignsAndALoadThatMustNotStopAScan();
    void syncAllFromTheMenuCopiesEverything();
};

void tst_PauseSyncSchemeCommands::pauseSignsAndALoadThatMustNotStopAScan()
{
    TestEnvironment env;
    ProgramState state;
    SavenookApp app(state);
    frmSavenook& w = app.Window();
    ScriptedPrompts prompts;
    w.SetPrompts(&prompts);
    app.LoadMainWindow(false);
    app.RestorePausedState(false);

    w.mnuPaused->trigger();
    QVERIFY(state.Paused);
    QCOMPARE(w.mnuPaused->text(), QStringLiteral("Unpause Program"));
    QCOMPARE(w.PanelText("Running"), QStringLiteral("Paused... "));
    w.mnuPaused->trigger();
    QVERIFY(!state.Paused);
    QCOMPARE(w.mnuPaused->text(), QStringLiteral("Pause Program"));

    // A scan runs below this command: No leaves it running and the scheme unloaded.
    clsBackup b;
    b.SourcePath = env.root();
    state.Backups.Add(b, b.SourcePath);
    QVERIFY(SchemeFiles::Save(state, "Other.sch"));
    const QByteArray stores = ReadFile(env.dataFolder() + "/usrdatab");
    state.Scanning = true;
    QString asked;
    answerNextBox("No", &asked);
    w.mnuLoad->trigger();
    QCOMPARE(asked, ProgramPause::StopScanQuestion);
    QVERIFY(!state.Paused && !state.StopScanning);
    QVERIFY(!state.SchemeLoaded);
    QCOMPARE(ReadFile(env.dataFolder() + "/usrdatab"), stores);
    QVERIFY(prompts.Shown.isEmpty());
    state.Scanning = false;
}

void tst_PauseSyncSchemeCommands::syncAllFromTheMenuCopiesEverything()
{
    TestEnvironment env;
    const QString work = env.root() + "/src/Work";
    const QString copies = env.root() + "/Copies";
    WriteFile(work + "/a.txt", "a");
    WriteFile(work + "/deep/b.txt", "b");
    QDir().mkpath(copies);
    ProgramState state;
    clsBackup b;
    b.SourcePath = work;
    b.Folder = b.Recursive = b.Enabled = true;
    b.Volume = QString(2, QChar(0));
    state.Backups.Add(b, work);
    state.Destinations.Add(copies, work, QString());
    QVERIFY(SaveBackups(state) && SaveDestinations(state));
    state.Backups.Clear();

    SavenookApp app(state);
    frmSavenook& w = app.Window();
    ScriptedPrompts prompts;
    w.SetPrompts(&prompts);
    app.LoadOptions();
    app.LoadMainWindow(false);
    app.RestorePausedState(true);
    w.UpdateMenuStates();
    w.mnuSyncAll->trigger();

    QCOMPARE(prompts.Shown.last(), QStringLiteral("Synchronization complete!"));
    QCOMPARE(ReadFile(copies + "/Work/deep/b.txt"), QByteArray("b"));
    QCOMPARE(ReadFile(copies + "/Work/a.txt"), QByteArray("a"));
    QVERIFY(state.Paused);
    QVERIFY(w.mnuBackups->menuAction()->isEnabled() && w.treeBackupsLocal->isEnabled());
}

QTEST_MAIN(tst_PauseSyncSchemeCommands)
#include "tst_PauseSyncSchemeCommands.moc"
