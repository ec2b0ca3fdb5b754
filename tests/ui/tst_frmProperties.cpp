// The association properties dialog and its volume editors; every question goes through the prompts seam.
#include "core/DateText.h"
#include "core/StoreFile.h"
#include "core/Stores.h"
#include "support/TestEnvironment.h"
#include "support/UiFakes.h"
#include "ui/dialogs/SourceVolumeList.h"
#include "ui/dialogs/WindowPrefs.h"
#include "ui/dialogs/frmEditDestVolume.h"
#include "ui/dialogs/frmEditVolumes.h"
#include "ui/dialogs/frmProperties.h"
#include "ui/main/PropertiesOpener.h"
#include "ui/main/SavenookApp.h"
#include "ui/main/frmSavenook.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <optional>

namespace {
// A write test whose file goes below a plain file (failing even for root), or whose removal fails.
class BlockedWriteTest : public DestinationWriteTest
{
  public:
    QString Blocker;
    bool RemoveFails = false;

  protected:
    QString TestFilePath(const QString& folder) const override
    {
        return Blocker.isEmpty() ? DestinationWriteTest::TestFilePath(folder) : Blocker + "/" + FileName;
    }
    bool RemoveFile(const QString& path) const override
    {
        return !RemoveFails && DestinationWriteTest::RemoveFile(path);
    }
};

// Whether text is pattern with each '*' standing for any text (Qt 6.4's wildcards are for paths only).
bool matches(const QString& text, const QString& pattern)
{
    const QString any = QRegularExpression::escape(pattern).replace("\\*", ".*");
    const QRegularExpression whole("\\A" + any + "\\z", QRegularExpression::DotMatchesEverythingOption);
    return whole.match(text).hasMatch();
}

clsBackup association(const QString& source, bool folder)
{
    clsBackup b = Association(source, folder);
    b.NotifyOnError = b.NotifyOnSuccess = b.KeepBackup = true;
    b.Versions = 3;
    b.Volume = "SYSTEM";
    b.DateLastModified = "06/12/2026 11:00:00";
    return b;
}
} // namespace

class tst_frmProperties : public QObject
{
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::optional<ProgramState> m_state;
    FakeDrives m_drives;
    ScriptedPrompts m_prompts;
    QStringList m_calls; // what the dialog asked of its host
    std::array<qint16, 5> m_placement{};
    QString m_src;
    QPointer<frmProperties> m_open;

    QPointer<frmProperties> open(const QString& path)
    {
        PropertiesHost host;
        host.SetAddingEnabled = [this](bool on) { m_calls << QStringLiteral("adding %1").arg(on); };
        host.WatchSourceFolder = [this](const QString& p, bool r) {
            m_calls << QStringLiteral("watch %1 %2").arg(p).arg(r);
        };
        host.Placement = &m_placement;
        m_state->PropertiesPath = path;
        m_open = new frmProperties(*m_state, m_drives, {}, host, m_prompts);
        m_open->show();
        return m_open;
    }
    void addStored(const clsBackup& b)
    {
        QVERIFY(m_state->Backups.Add(b, b.SourcePath));
        QVERIFY(SaveBackups(*m_state) && SaveDestinations(*m_state));
    }
    QByteArray stores() const
    {
        return StoreFile::Read("usrdatab").Lines.join("\n").toUtf8() + "|" +
               StoreFile::Read("usrdatad").Lines.join("\n").toUtf8();
    }

  private Q_SLOTS:
    void init()
    {
        m_env.emplace();
        m_state.emplace();
        m_prompts = ScriptedPrompts();
        m_calls.clear();
        m_placement = {};
        m_drives.Label_ = "SYSTEM";
        m_drives.NotReady = m_env->root() + "/usb";
        m_src = m_env->root() + "/Src";
        QDir().mkpath(m_src + "/Work/Sub");
        WriteFile(m_src + "/Work/a.txt", "x");
    }
    void cleanup() { delete m_open.data(); } // the dialog a test leaves open
    void openShowsTheAssociationThenApplyAndOkReachTheModelAndTheStores()
    {
        clsBackup work = association(m_src + "/Work", true);
        work.Recursive = true;
        m_state->Destinations.Add("/backup/one", work.SourcePath, "ONE");
        // Another association's, whose source differs by case only.
        m_state->Destinations.Add("/backup/other", work.SourcePath.toUpper(), "X");
        m_state->Destinations.Add("/backup/two", work.SourcePath, "TWO");
        addStored(work);
        addStored(association(m_src + "/gone.txt", false));

        QPointer<frmProperties> d = open(work.SourcePath);
        QCOMPARE(d->windowTitle(), QStringLiteral("Work<< Savenook"));
        QCOMPARE(d->txtStatus->text(), QStringLiteral("Folder exists"));
        QVERIFY(d->chkRecursive->isEnabled() && d->chkRecursive->isChecked());
        QCOMPARE(d->txtVersions->text(), QStringLiteral("3"));
        QCOMPARE(d->cmdCancel->text(), QStringLiteral("&Close"));
        QCOMPARE(d->listDestinations->topLevelItemCount(), 2);
        QVERIFY(m_state->PropertiesOpen);
        QCOMPARE(m_calls, QStringList{"adding 0"});

        d->chkHidden->setChecked(true);
        d->chkNotifySuccess->setChecked(false);
        d->chkRecursive->setChecked(false);
        d->txtVersions->setText("12345");
        d->listDestinations->setCurrentItem(d->listDestinations->topLevelItem(0));
        d->cmdRemove_Click();
        d->cmdApply_Click();
        ProgramState reread;
        LoadBackups(reread);
        LoadDestinations(reread);
        const clsBackup* b = reread.Backups.Item(work.SourcePath);
        QVERIFY(b && b->CopyHidden && !b->NotifyOnSuccess && !b->Recursive && b->Versions == 9999);
        QCOMPARE(reread.Destinations.ForSource(work.SourcePath.toUpper()).size(), size_t(1));
        QVERIFY(m_calls.contains(QStringLiteral("watch %1/Work 0").arg(m_src)));

        m_prompts.Folder = m_env->root();
        d->cmdAdd_Click();
        d->cmdOk_Click();
        QTRY_VERIFY(d.isNull());
        QVERIFY(!m_state->PropertiesOpen && !m_state->PropertiesCancelled);
        QCOMPARE(m_calls.last(), QStringLiteral("adding 1"));
        LoadDestinations(reread);
        QCOMPARE(reread.Destinations.ForSource(work.SourcePath).size(), size_t(2));
        QCOMPARE(reread.Destinations.ForSource(work.SourcePath).back().Volume, QStringLiteral("SYSTEM"));

        // A missing source disables its association and says so.
        d = open(m_src + "/gone.txt");
        QCOMPARE(d->txtStatus->text(), QStringLiteral("File no longer exists"));
        QVERIFY(!d->chkRecursive->isEnabled() && !d->chkEnabled->isChecked());
        QVERIFY(!m_state->Backups.Item(m_src + "/gone.txt")->Enabled);
    }

    void closingWithoutOkChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("isNew"); // then only Apply keeps it
        Row("Close on an existing one", "close", false);
        Row("Esc on an existing one", "escape", false);
        Row("frame's close on a new one", "frame", true);
        Row("Apply, then Close on a new one", "apply", true);
    }
    void closingWithoutOkChangesNothing()
    {
        QFETCH(QString, how);
        QFETCH(bool, isNew);
        const bool kept = !isNew || how == "apply";
        clsBackup b = association(m_src + "/Work", true);
        if (isNew)
            b.DateLastModified = DateText::Never;
        m_state->Destinations.Add("/backup/one", b.SourcePath, "ONE");
        addStored(b);
        const QByteArray before = stores();

        QPointer<frmProperties> d = open(b.SourcePath);
        d->txtVersions->setText("7");
        d->listDestinations->setCurrentItem(d->listDestinations->topLevelItem(0));
        d->cmdRemove_Click();
        if (how == "apply")
            d->cmdApply_Click();
        if (how == "escape")
            QTest::keyClick(d, Qt::Key_Escape);
        else if (how == "frame")
            d->close();
        else
            d->cmdCancel_Click();
        QTRY_VERIFY(d.isNull());

        QVERIFY(m_state->PropertiesCancelled && !m_state->PropertiesOpen);
        QCOMPARE(m_state->Backups.Item(b.SourcePath) != nullptr, kept);
        if (how == "apply") {
            QCOMPARE(m_state->Backups.Item(b.SourcePath)->Versions, qint16(7));
            return;
        }
        QCOMPARE(m_state->Destinations.Count(), kept ? 1 : 0);
        if (kept)
            QCOMPARE(*m_state->Backups.Item(b.SourcePath), b);
        QCOMPARE(stores(), before);
        QVERIFY(!m_calls.join(",").contains("watch"));
    }

    void versionControlsDuplicateDestinationsThenPlacementKeptBetweenOpenings()
    {
        addStored(association(m_src + "/Work", true));
        QPointer<frmProperties> d = open(m_src + "/Work");
        d->txtVersions->setText("0");
        QCOMPARE(d->txtVersions->text(), QStringLiteral("1"));
        QVERIFY(!d->chkKeepBackup->isChecked() && !d->txtVersions->isEnabled());
        // Pressing the disabled box starts keeping versions again.
        QTest::mouseClick(d->fraSettings, Qt::LeftButton, {}, d->txtVersions->geometry().center());
        QVERIFY(d->chkKeepBackup->isChecked() && d->cmdMoreVersions->isEnabled());
        // Held: one step at once, then one every 125 ms.
        QTest::mousePress(d->cmdMoreVersions, Qt::LeftButton);
        QTest::qWait(400);
        QTest::mouseRelease(d->cmdMoreVersions, Qt::LeftButton);
        const int held = d->txtVersions->text().toInt();
        QVERIFY2(held >= 3 && held <= 6, qPrintable(d->txtVersions->text()));
        QTest::qWait(300);
        QCOMPARE(d->txtVersions->text().toInt(), held);
        d->txtVersions->setText("9999");
        d->StepVersions(1);
        QCOMPARE(d->txtVersions->text(), QStringLiteral("9999"));

        const QString duplicate = "A destination with this path and volume name is already assigned to this "
                                  "association. Edit the volume name and try again.";
        QDir().mkpath(m_env->root() + "/Back");
        QDir().mkpath(m_env->root() + "/BACK");
        m_prompts.Folder = m_env->root() + "/Back";
        d->cmdAdd_Click();
        d->cmdAdd_Click();
        QCOMPARE(d->WorkingDests().Count(), 1);
        QCOMPARE(m_prompts.Shown, QStringList{duplicate});
        // The same folder on a disk with another name is another destination.
        m_drives.Label_ = "OTHER";
        d->cmdAdd_Click();
        QCOMPARE(d->WorkingDests().Count(), 2);
        // A path differing only in case is another folder on Linux.
        m_prompts.Folder = m_env->root() + "/BACK";
        d->cmdAdd_Click();
        QCOMPARE(d->WorkingDests().Count(), 3);
        // Not ready: refused before anything is written.
        m_prompts.Folder = m_env->root() + "/usb/x";
        d->cmdAdd_Click();
        QCOMPARE(m_prompts.Shown.last(), QStringLiteral("Drive not ready!"));
        QCOMPARE(d->WorkingDests().Count(), 3);

        // Renamed to the volume name of the same folder's other destination, in any case: refused too.
        QString rename = "system";
        d->EditorOpened = [&](QDialog& dialog) {
            auto& e = static_cast<frmEditDestVolume&>(dialog);
            QCOMPARE(e.glngDestIndex, 2);
            e.txtVolume->setText(rename);
            e.cmdOk_Click();
        };
        d->listDestinations->setCurrentItem(d->listDestinations->topLevelItem(1));
        d->EditDestinationVolume();
        QCOMPARE(m_prompts.Shown.last(), duplicate);
        QCOMPARE(d->listDestinations->topLevelItem(1)->text(1), QStringLiteral("OTHER"));
        rename = "Three";
        d->EditDestinationVolume();
        QCOMPARE(d->listDestinations->topLevelItem(1)->text(1), QStringLiteral("Three"));
        QCOMPARE(d->WorkingDests().Item(2)->Volume, QStringLiteral("Three"));
        QCOMPARE(m_state->Destinations.Count(), 0); // until OK

        // The first opening takes the default size, centred; the next one the last placement.
        const qreal dpiX = d->screen()->logicalDotsPerInchX(), dpiY = d->screen()->logicalDotsPerInchY();
        QCOMPARE(d->size(), QSize(Twips::ToPixels(9330, dpiX), Twips::ToPixels(6000, dpiY)));
        QVERIFY((d->geometry().center() - d->screen()->availableGeometry().center()).manhattanLength() <= 2);
        d->resize(700, 450);
        d->move(30, 40);
        d->listDestinations->setColumnWidth(0, 300);
        d->cmdCancel_Click();
        QCOMPARE(m_placement[3], Twips::FromPixels(700, dpiX));
        QCOMPARE(m_placement[4], Twips::FromPixels(300, dpiX));
        d = open(m_src + "/Work");
        QCOMPARE(d->size(), QSize(700, 450));
        QCOMPARE(d->pos(), QPoint(30, 40));
        QCOMPARE(d->listDestinations->columnWidth(0), 300);
    }

    void addingADestinationAsksWhatItMust_data()
    {
        QTest::addColumn<QString>("source");    // below the sources' folder
        QTest::addColumn<bool>("recursive");    // as ticked, not yet saved
        QTest::addColumn<QByteArray>("folder"); // below the root, by its bytes
        QTest::addColumn<QString>("failure");   // of the write test: "", "write", "remove"
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QString>("message"); // the one message shown, '*' for any text; empty: none
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        const QByteArray backup = "Backup";
        const QString unwritable = "Savenook has determined an inability to save to the selected folder from "
                                   "this machine.*\n\nAdd it anyway?";
        Row("unwritable, No", "Work", false, backup, "write", no, false, unwritable);
        Row("unwritable, Yes", "Work", false, backup, "write", yes, true, unwritable);
        Row("test file stuck", "Work", false, backup, "remove", yes, true,
            "Savenook could not remove its test file \"*\". Please delete it.");
        // No store could keep these names: refused when chosen.
        const QString name = "Savenook cannot back up into a folder whose name %1:\n\n*\n\nRename it first.";
        Row("line feed in the name", "Work", false, QByteArray("back\nup"), "", yes, false,
            name.arg("contains a line break"));
        // Destinations the copies would loop into, answered No.
        const QString inside = "The folder \"*\" lies inside the source folder \"*\", whose sub-folders are "
                               "*\n\nAdd it anyway?";
        const QString ownFiles = "Copies made to the folder \"*\" would go into \"*\", the folder of the "
                                 "source's own files*\n\nAdd it anyway?";
        Row("inside a recursive folder", "Work", true, QByteArray("Src/Work/Sub"), "", no, false, inside);
        Row("inside a flat folder", "Work", false, QByteArray("Src/Work/Sub"), "", no, true, "");
        Row("folder's parent", "Work", false, QByteArray("Src"), "", no, false, ownFiles);
        Row("file's grandparent", "Work/a.txt", false, QByteArray("Src"), "", no, false, ownFiles);
        Row("file's own folder", "Work/a.txt", false, QByteArray("Src/Work"), "", no, true, "");
    }
    void addingADestinationAsksWhatItMust()
    {
        QFETCH(QString, source);
        QFETCH(bool, recursive);
        QFETCH(QByteArray, folder);
        QFETCH(QString, failure);
        QFETCH(int, answer);
        QFETCH(bool, added);
        QFETCH(QString, message);
        addStored(association(m_src + "/" + source, source == "Work"));
        const QString target = MakeByBytes(m_env->root(), folder + "/");
        BlockedWriteTest test;
        if (failure == "write")
            test.Blocker = m_src + "/Work/a.txt";
        test.RemoveFails = failure == "remove";
        QPointer<frmProperties> d = open(m_src + "/" + source);
        d->SetWriteTest(&test);
        d->chkRecursive->setChecked(recursive);
        m_prompts.Folder = target;
        m_prompts.Answers = {QMessageBox::StandardButton(answer)};
        d->cmdAdd_Click();

        QCOMPARE(d->WorkingDests().Count(), added ? 1 : 0);
        QCOMPARE(m_prompts.Shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(matches(m_prompts.Shown[0], message), qPrintable(m_prompts.Shown[0]));
        QCOMPARE(QFile::exists(target + "/" + DestinationWriteTest::FileName), failure == "remove");
        // Ticking sub-folders afterwards turns a destination inside the folder into a loop.
        if (QTest::currentDataTag() == QByteArray("inside a flat folder")) {
            QTest::mouseClick(d->chkRecursive, Qt::LeftButton);
            QVERIFY2(m_prompts.Shown.size() == 1 && m_prompts.Shown[0].contains("inside the source folder"),
                     qPrintable(m_prompts.Shown.join("|")));
        }
    }

    void sourceVolumeListsEncodedReadBackAndEditedForTheAssociation()
    {
        const QStringList two{"data", "Backup"};
        const QString encodedTwo = QString("DATA%1BACKUP").arg(QChar(0));
        using Case = std::tuple<QStringList, bool, QString>; // names, blanks accepted, encoded
        for (const auto& [names, blank, encoded] :
             {Case{two, true, encodedTwo + QString(2, QChar(0))}, Case{two, false, encodedTwo},
              Case{{}, true, QString(2, QChar(0))}, Case{{}, false, QString()}}) {
            QCOMPARE((SourceVolumeList{names, blank}.Encode()), encoded);
            QCOMPARE(SourceVolumeList::Decode(encoded).Encode(), encoded);
        }

        clsBackup b = association(m_src + "/Work", true);
        b.Volume = QString(); // shown as one empty entry
        addStored(b);
        QPointer<frmProperties> d = open(b.SourcePath);
        QStringList seen;
        d->EditorOpened = [&](QDialog& dialog) {
            auto& e = static_cast<frmEditVolumes&>(dialog);
            seen << QString::number(e.lbxVolumes->count());
            e.txtVolume->setText("data");
            e.cmdAdd_Click();
            e.txtVolume->setText("Data");
            e.cmdAdd_Click();
            e.lbxVolumes->selectAll();
            e.cmdRemove_Click(); // the last names may not all go while blanks are refused
            seen << QString::number(e.lbxVolumes->count());
            e.lbxVolumes->clearSelection();
            e.lbxVolumes->item(0)->setSelected(true);
            QTest::keyClick(e.lbxVolumes, Qt::Key_Delete);
            e.cmdOk_Click();
        };
        d->cmdVolume_Click();
        QCOMPARE(seen, (QStringList{"1", "2"}));
        QCOMPARE(m_prompts.Shown,
                 QStringList{"At least one volume name must be assigned to the source path."});
        QCOMPARE(d->Volumes(), QStringLiteral("DATA"));
        d->cmdOk_Click();
        QCOMPARE(m_state->Backups.Item(b.SourcePath)->Volume, QStringLiteral("DATA"));

        // Nothing left and blanks refused: the empty text.
        frmEditVolumes empty(QString(), b.SourcePath, NetworkPaths(m_drives, {}, {}), m_prompts);
        empty.cmdOk_Click();
        QCOMPARE(empty.Volumes(), QString());
    }

    // The real dialog's part of adding files: its captions, one wait after another, OK for All.
    void multiFileAddOneAtATimeThenOkForAll()
    {
        frmSavenook w(*m_state);
        w.Svc.DriveInfo = &m_drives;
        w.SetPrompts(&m_prompts);
        w.Load({});
        PropertiesOpener opener(w, *m_state);
        opener.SetPrompts(&m_prompts);
        opener.Install();
        int opened = 0;
        opener.Opened = [&](frmProperties& d) {
            ++opened;
            QVERIFY(d.isVisible() && !d.parentWidget()); // to the front, though the window is hidden
            QVERIFY(d.cmdSaveAll->isEnabled() && d.cmdSaveAll->isDefault());
            QCOMPARE(d.cmdCancel->text(), QStringLiteral("Skip"));
            QVERIFY(!w.cmdAddFile->isEnabled() && !w.acceptDrops());
            // Answered from inside the opener's wait.
            QTimer::singleShot(0, &d, [&d, this, second = opened == 2] {
                d.txtVersions->setText("7");
                m_prompts.Folder = m_env->root();
                d.cmdAdd_Click();
                if (second)
                    d.cmdSaveAll_Click();
                else
                    d.cmdOk_Click();
            });
        };
        m_prompts.Files = QStringList{m_src + "/a", m_src + "/b", m_src + "/c"};
        for (const QString& file : m_prompts.Files)
            WriteFile(file, "x");
        w.MenuAddFile();

        QCOMPARE(opened, 2);
        QVERIFY(w.cmdAddFile->isEnabled() && !m_state->PropertiesOpen && !w.isVisible());
        ProgramState reread; // OK for All reached the file after it
        LoadBackups(reread);
        LoadDestinations(reread);
        QCOMPARE(reread.Backups.Item(m_src + "/c")->Versions, qint16(7));
        QCOMPARE(reread.Destinations.ForSource(m_src + "/c").size(), size_t(1));
    }

    // "Two" was tied to another drive once: choosing it again is the user's word for the new one.
    void addAFolderWithTwoDestinationsAndBothGetTheNextSave()
    {
        const QString work = m_src + "/Work";
        const QStringList targets{m_env->root() + "/One", m_env->root() + "/Two"};
        for (const QString& t : targets)
            QDir().mkpath(t);
        QVERIFY(StoreFile::Write("dmounts", {targets[1], "/elsewhere", "/", "vfat", "/dev/sdz1", ""}));
        SavenookApp app(*m_state);
        frmSavenook& w = app.Window();
        w.SetPrompts(&m_prompts);
        app.Properties().SetPrompts(&m_prompts);
        app.Properties().Opened = [&](frmProperties& d) {
            QTimer::singleShot(0, &d, [&d, &targets, this] {
                for (const QString& t : targets) {
                    m_prompts.Folder = t;
                    d.cmdAdd_Click();
                }
                d.cmdOk_Click();
            });
        };
        app.LoadOptions();
        app.LoadMainWindow(false);
        app.RestorePausedState(false);
        app.StartWatching();
        m_prompts.Folder = work;
        w.cmdAddFolder->click();
        QVERIFY2(m_prompts.Shown.isEmpty(), qPrintable(m_prompts.Shown.join("|")));

        QTest::qWait(300); // the watch settles before the save
        WriteFile(work + "/saved.txt", "x");
        for (const QString& t : targets)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(t + "/Work/saved.txt"), 10000);
        app.ExitRequested();
        QSignalSpy unloaded(&w, &frmSavenook::Unloaded);
        QTRY_COMPARE_WITH_TIMEOUT(unloaded.count(), 1, 3000);
    }
};

QTEST_MAIN(tst_frmProperties)
#include "tst_frmProperties.moc"
