#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include "core/DataFolder.h"
#include "platform/AutostartEntry.h"
#include "ui/dialogs/frmOptions.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

class tst_frmOptions : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void init()
    {
        m_env.reset(); // restores the variables before the next one takes them over
        m_env = std::make_unique<TestEnvironment>();
        m_options = Options();
        m_messages.clear();
        WriteFile(m_env->root() + "/bin/savenook", "#!/bin/sh\n");
    }

    void confirmedControlsAndTheLoginEntryAreWrittenAndShownAgain()
    {
        const QString program = m_env->root() + "/bin/savenook";
        auto dialog = open();
        QCOMPARE(dialog->tbsOptions->currentWidget(), dialog->fraGeneral);
        QCOMPARE(dialog->txtBusyTimeout->text(), QStringLiteral("30"));
        QVERIFY(dialog->txtAdvance->isEnabled());
        QVERIFY(!dialog->txtPrefixes->isEnabled());
        dialog->txtBusyTimeout->setText("12");
        dialog->txtAdvance->setText("0");
        dialog->chkAdvance->click();
        QVERIFY(!dialog->txtAdvance->isEnabled());
        dialog->chkErrorLoop->setChecked(false);
        dialog->txtPrefixes->setPlainText("~\n.tmp");
        QVERIFY(!dialog->chkStartup->isChecked());
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

        auto again = open();
        QCOMPARE(again->txtAdvance->text(), QStringLiteral(".001"));
        QCOMPARE(again->txtPrefixes->toPlainText(), QStringLiteral("~\n.tmp"));
        QVERIFY(!again->txtAdvance->isEnabled());
        QVERIFY(again->chkStartup->isChecked());
        again->chkStartup->setChecked(false); // the login entry follows the box both ways
        QVERIFY(again->Confirm());
        QVERIFY(!AutostartEntry::IsPresent(program));
        QVERIFY(!open()->chkStartup->isChecked());
    }

    void keyFiltersAndStepButtons()
    {
        auto dialog = open();
        dialog->txtBusyTimeout->clear();
        QTest::keyClicks(dialog->txtBusyTimeout, "1a.2");
        QCOMPARE(dialog->txtBusyTimeout->text(), QStringLiteral("12"));
        dialog->txtPrevSave->clear();
        QTest::keyClicks(dialog->txtPrevSave, "a/b:c|d~");
        QCOMPARE(dialog->txtPrevSave->text(), QStringLiteral("abcd~"));

        const struct
        {
            const char* before;
            QToolButton* button;
            const char* after;
        } rows[] = {{"99", dialog->cmdMoreAdv, "99"},
                    {"150", dialog->cmdMoreAdv, "151"},
                    {"1", dialog->cmdLessAdv, "1"},
                    {".001", dialog->cmdLessAdv, "-.999"}};
        for (const auto& row : rows) {
            dialog->txtAdvance->setText(row.before);
            row.button->click();
            QCOMPARE(dialog->txtAdvance->text(), QString::fromLatin1(row.after));
        }
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
        auto dialog = open();
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

    void rightClickRestartsThePreviewWithTheChosenAnimation()
    {
        auto dialog = open();
        QList<frmOptions::TrayIcon> shown;
        dialog->ShowTrayIcon = [&](frmOptions::TrayIcon icon) { shown << icon; };
        dialog->show();
        dialog->tbsOptions->setCurrentWidget(dialog->fraNotification);
        QTest::mousePress(dialog->chkTrayNod, Qt::RightButton);
        QTRY_VERIFY(shown.size() >= 3);
        QTest::mousePress(dialog->chkTrayShrug, Qt::RightButton);
        QVERIFY(!dialog->tmrNod.isActive());
        QVERIFY(dialog->tmrShrug.isActive());
        shown.clear();
        QTRY_VERIFY_WITH_TIMEOUT(shown.size() >= 4, 3000);
        using I = frmOptions::TrayIcon;
        QCOMPARE(shown.mid(0, 4), (QList<I>{I::Success, I::Normal, I::Error, I::Normal}));
        dialog->hide();
        QVERIFY(!dialog->tmrShrug.isActive());
        QCOMPARE(shown.last(), I::Normal);
    }

  private:
    // A dialog whose messages are recorded and whose login entry starts a test program.
    std::unique_ptr<frmOptions> open()
    {
        auto dialog = std::make_unique<frmOptions>(m_state, m_options);
        dialog->Program = m_env->root() + "/bin/savenook";
        dialog->LoadControls();
        dialog->Message = [this](QWidget*, QMessageBox::Icon, const QString& text,
                                 QMessageBox::StandardButtons) {
            m_messages << text;
            return QMessageBox::Ok;
        };
        return dialog;
    }

    std::unique_ptr<TestEnvironment> m_env;
    ProgramState m_state;
    Options m_options;
    QStringList m_messages;
};

QTEST_MAIN(tst_frmOptions)
#include "tst_frmOptions.moc"
