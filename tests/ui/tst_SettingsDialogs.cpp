// The options dialog and the scheme save and load dialogs, each message recorded and answered.
#include "support/FakeStatusPanels.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include "core/DataFolder.h"
#include "core/SchemeFiles.h"
#include "core/Stores.h"
#include "platform/AutostartEntry.h"
#include "ui/dialogs/frmLoad.h"
#include "ui/dialogs/frmOptions.h"
#include "ui/dialogs/frmSave.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <optional>

class tst_SettingsDialogs : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void init()
    {
        m_env.emplace();
        m_state.emplace();
        m_state->Status = &m_panels;
        m_options = Options();
        m_messages.clear();
        m_answer = QMessageBox::Ok;
        WriteFile(m_env->root() + "/bin/savenook", "#!/bin/sh\n");
    }

    void keyFiltersStepsConfirmedControlsLoginEntryAndTrayPreviews()
    {
        const QString program = m_env->root() + "/bin/savenook";
        auto dialog = openOptions();
        QVERIFY(!dialog->txtPrefixes->isEnabled());
        dialog->txtBusyTimeout->clear();
        QTest::keyClicks(dialog->txtBusyTimeout, "1a.2");
        QCOMPARE(dialog->txtBusyTimeout->text(), QStringLiteral("12"));
        dialog->txtPrevSave->clear();
        QTest::keyClicks(dialog->txtPrevSave, "a/b:c|d~");
        QCOMPARE(dialog->txtPrevSave->text(), QStringLiteral("abcd~"));
        using Step = std::tuple<const char*, QToolButton*, const char*>; // before, button, after
        for (const auto& [before, button, after] :
             {Step{"99", dialog->cmdMoreAdv, "99"}, Step{"150", dialog->cmdMoreAdv, "151"},
              Step{"1", dialog->cmdLessAdv, "1"}, Step{".001", dialog->cmdLessAdv, "-.999"}}) {
            dialog->txtAdvance->setText(before);
            button->click();
            QCOMPARE(dialog->txtAdvance->text(), QString::fromLatin1(after));
        }
        dialog->txtAdvance->setText("0");
        dialog->chkAdvance->click();
        QVERIFY(!dialog->txtAdvance->isEnabled());
        dialog->chkErrorLoop->setChecked(false);
        dialog->txtPrefixes->setPlainText("~\n.tmp");
        dialog->chkStartup->setChecked(true);

        QVERIFY(dialog->Confirm());
        // How the boxes become numbers and lists is the settings' rule; here only that they reach it.
        QCOMPARE(m_options.BusyTimeout, 12.0);
        QVERIFY(!m_options.AutoAdvance && !m_options.ErrorLoop && m_options.ErrorPrevSave);
        QCOMPARE(m_options.Prefixes, QStringLiteral("~|.tmp"));
        QVERIFY(QFileInfo::exists(DataFilePath("opts")));
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(AutostartEntry::EntriesStarting(program),
                 QStringList{m_env->configHome() + "/autostart/Savenook.desktop"});

        auto again = openOptions();
        QCOMPARE(again->txtPrefixes->toPlainText(), QStringLiteral("~\n.tmp"));
        QVERIFY(!again->txtAdvance->isEnabled() && again->chkStartup->isChecked());
        again->chkStartup->setChecked(false); // the login entry follows the box both ways
        QVERIFY(again->Confirm());
        QVERIFY(!AutostartEntry::IsPresent(program));
        QVERIFY(!openOptions()->chkStartup->isChecked());

        // A right click restarts the preview with the chosen animation.
        QList<frmOptions::TrayIcon> shown;
        dialog->ShowTrayIcon = [&](frmOptions::TrayIcon icon) { shown << icon; };
        dialog->show();
        dialog->tbsOptions->setCurrentWidget(dialog->fraNotification);
        QTest::mousePress(dialog->chkTrayNod, Qt::RightButton);
        QTRY_VERIFY(shown.size() >= 3);
        QTest::mousePress(dialog->chkTrayShrug, Qt::RightButton);
        QVERIFY(!dialog->tmrNod.isActive());
        shown.clear();
        QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= 4, 3000);
        using I = frmOptions::TrayIcon;
        QCOMPARE(shown.mid(0, 4), (QList<I>{I::Success, I::Normal, I::Error, I::Normal}));
        dialog->hide();
        QVERIFY(!dialog->tmrShrug.isActive());
        QCOMPARE(shown.last(), I::Normal);
    }

    void aRefusedFolderNameOrAFailedWriteKeepsTheDialogOpen_data()
    {
        QTest::addColumn<QString>("prevSave");
        QTest::addColumn<bool>("blockWrite");
        QTest::newRow("..") << ".." << false;
        QTest::newRow(".") << " . " << false;
        QTest::newRow("pasted separator") << "../up" << false;
        QTest::newRow("write fails") << "Versions" << true;
    }

    void aRefusedFolderNameOrAFailedWriteKeepsTheDialogOpen()
    {
        QFETCH(QString, prevSave);
        QFETCH(bool, blockWrite);
        if (blockWrite)
            QDir().mkpath(DataFilePath("opts/blocked")); // renaming over a folder fails, even for root
        auto dialog = openOptions();
        dialog->show();
        dialog->tbsOptions->setCurrentWidget(dialog->fraFilters);
        dialog->txtPrevSave->setText(prevSave);
        dialog->txtBusyTimeout->setText("5");

        QVERIFY(!dialog->Confirm());
        QVERIFY(dialog->isVisible());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].contains(blockWrite ? "could not be saved" : "plain folder name"));
        QCOMPARE(m_options, Options());
        if (!blockWrite)
            QCOMPARE(dialog->tbsOptions->currentWidget(), dialog->fraGeneral);
    }

    void savedUnderItsNameAskingBeforeOverwritingAndFailuresReported()
    {
        addAssociation("/data/Work");
        auto save = open<frmSave>();
        // Which names are refused is the scheme files' rule; the dialog says so and writes nothing.
        save->txtSchemeName->setText("../usrdatab"); // as a paste that passed no key filter
        QVERIFY(!save->Save());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(!QFileInfo::exists(DataFilePath("usrdatab.sch")));
        QDir().mkpath(SchemeFiles::Folder() + "/Work.sch.dstTEMP/blocked");
        save->txtSchemeName->setText("Work");
        QVERIFY(!save->Save());
        QCOMPARE(m_messages.size(), 2);
        QVERIFY(m_messages[1].startsWith("The scheme could not be saved"));
        QVERIFY(m_state->RecentScheme.isEmpty());

        QVERIFY(QDir(SchemeFiles::Folder() + "/Work.sch.dstTEMP").removeRecursively());
        int treeClicks = 0;
        save->TreeClick = [&] { ++treeClicks; };
        save->txtSchemeName->clear();
        QTest::keyClicks(save->txtSchemeName, "Wo\\r:k");
        QCOMPARE(save->txtSchemeName->text(), QStringLiteral("Work"));
        QVERIFY(save->Save());
        QCOMPARE(m_messages.mid(2), QStringList{"Scheme saved successfully!"});
        QCOMPARE(m_state->RecentScheme, QStringLiteral("Work.sch"));
        QCOMPARE(m_panels.PanelText("Scheme"), QStringLiteral("Recent scheme: Work.sch "));
        QCOMPARE(treeClicks, 1);

        // The same two files by the name with its ending; anything but Yes keeps the dialog open.
        for (const auto answer : {QMessageBox::Cancel, QMessageBox::Yes}) {
            m_messages.clear();
            m_answer = answer;
            auto again = open<frmSave>();
            select(*again, "Work.sch");
            QCOMPARE(again->txtSchemeName->text(), QStringLiteral("Work"));
            again->txtSchemeName->setText("Work.sch");
            QCOMPARE(again->Save(), answer == QMessageBox::Yes);
            QVERIFY(
                m_messages.first().startsWith("There is already a scheme saved by this name\nOverwrite it?"));
            QCOMPARE(m_messages.size(), answer == QMessageBox::Yes ? 2 : 1);
        }

        m_answer = QMessageBox::Ok;
        auto list = open<frmLoad>();
        select(*list, "Work.sch");
        list->DeleteSelected();
        QVERIFY(Entries(SchemeFiles::Folder()).isEmpty());
    }

    void loadedOnlyWhenConfirmedAndComplete()
    {
        addAssociation("/data/Scheme");
        QVERIFY(SchemeFiles::Save(*m_state, "Mine.sch"));
        WriteFile(SchemeFiles::Folder() + "/Half.sch", "/data/Half\r\n");
        m_state->Backups.Clear();
        addAssociation("/data/Current");
        QVERIFY(SaveBackups(*m_state) && SaveDestinations(*m_state));
        const QByteArray current = ReadFile(DataFilePath("usrdatab"));

        auto load = open<frmLoad>();
        QVERIFY(!load->Load());
        QCOMPARE(m_messages, QStringList{"Please select a scheme from the list above."});

        m_answer = QMessageBox::No;
        select(*load, "Mine.sch");
        QVERIFY(!load->Load());
        QCOMPARE(m_messages.mid(1), QStringList{"Are you sure you want to load the scheme: Mine.sch?"});
        QCOMPARE(ReadFile(DataFilePath("usrdatab")), current);

        m_answer = QMessageBox::Yes;
        select(*load, "Half.sch");
        QVERIFY(load->Load());
        QCOMPARE(m_messages.last(), QStringLiteral("Error in retrieving scheme."));
        QVERIFY(!m_state->SchemeLoaded);
        QCOMPARE(ReadFile(DataFilePath("usrdatab")), current);

        auto again = open<frmLoad>();
        select(*again, "Mine.sch");
        QVERIFY(again->Load());
        QVERIFY(m_state->SchemeLoaded);
        QCOMPARE(m_state->RecentScheme, QStringLiteral("Mine.sch"));
        QVERIFY(ReadFile(DataFilePath("usrdatab")).startsWith("/data/Scheme\r\n"));
    }

  private:
    template <typename Dialog, typename... Args> std::unique_ptr<Dialog> open(Args&... args)
    {
        auto dialog = std::make_unique<Dialog>(*m_state, args...);
        dialog->Message = [this](QWidget*, QMessageBox::Icon, const QString& text,
                                 QMessageBox::StandardButtons) {
            m_messages << text;
            return m_answer;
        };
        return dialog;
    }
    // Its login entry starts a test program.
    std::unique_ptr<frmOptions> openOptions()
    {
        auto dialog = open<frmOptions>(m_options);
        dialog->Program = m_env->root() + "/bin/savenook";
        dialog->LoadControls();
        return dialog;
    }
    void addAssociation(const QString& source)
    {
        clsBackup b;
        b.SourcePath = source;
        m_state->Backups.Add(b, source);
        m_state->Destinations.Add("/backup", source, QString());
    }
    void select(SchemeDialog& dialog, const QString& name)
    {
        auto* list = dialog.findChild<QListWidget*>();
        const auto items = list->findItems(name, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        list->setCurrentItem(items.first());
        Q_EMIT list->itemClicked(items.first());
    }

    std::optional<TestEnvironment> m_env;
    std::optional<ProgramState> m_state;
    FakeStatusPanels m_panels;
    Options m_options;
    QStringList m_messages;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
};

QTEST_MAIN(tst_SettingsDialogs)
#include "tst_SettingsDialogs.moc"
