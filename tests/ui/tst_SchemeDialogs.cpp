#include "support/FakeStatusPanels.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include "core/DataFolder.h"
#include "core/SchemeFiles.h"
#include "core/Stores.h"
#include "ui/dialogs/frmLoad.h"
#include "ui/dialogs/frmSave.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <optional>

class tst_SchemeDialogs : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void init()
    {
        m_env.emplace();
        m_state.emplace();
        m_state->Status = &m_panels;
        m_messages.clear();
        m_answer = QMessageBox::Ok;
    }

    void savedUnderItsNameAskingBeforeOverwriting()
    {
        addAssociation("/data/Work");
        int treeClicks = 0;
        auto save = open<frmSave>();
        save->TreeClick = [&] { ++treeClicks; };
        QTest::keyClicks(save->txtSchemeName, "Wo\\r:k");
        QCOMPARE(save->txtSchemeName->text(), QStringLiteral("Work"));
        QVERIFY(save->Save());
        QCOMPARE(m_messages, QStringList{"Scheme saved successfully!"});
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

    void namesThatWouldLeaveTheFolderAndFailedCopiesAreReported()
    {
        addAssociation("/data/Work");
        auto save = open<frmSave>();
        // Which names are refused is the scheme files' rule; the dialog says so and writes nothing.
        save->txtSchemeName->setText("../usrdatab"); // as a paste that passed no key filter
        QVERIFY(!save->Save());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(!QFileInfo::exists(DataFilePath("usrdatab.sch")));

        m_messages.clear();
        QDir().mkpath(SchemeFiles::Folder() + "/Work.sch.dstTEMP/blocked");
        save->txtSchemeName->setText("Work");
        QVERIFY(!save->Save());
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].startsWith("The scheme could not be saved"));
        QVERIFY(m_state->RecentScheme.isEmpty());
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

        m_messages.clear();
        m_answer = QMessageBox::No;
        select(*load, "Mine.sch");
        QVERIFY(load->cmdOpen->isEnabled());
        QVERIFY(!load->Load());
        QCOMPARE(m_messages, QStringList{"Are you sure you want to load the scheme: Mine.sch?"});
        QCOMPARE(ReadFile(DataFilePath("usrdatab")), current);

        m_messages.clear();
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
    template <typename Dialog> std::unique_ptr<Dialog> open()
    {
        auto dialog = std::make_unique<Dialog>(*m_state);
        dialog->Message = [this](QWidget*, QMessageBox::Icon, const QString& text,
                                 QMessageBox::StandardButtons) {
            m_messages << text;
            return m_answer;
        };
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
    QStringList m_messages;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
};

QTEST_MAIN(tst_SchemeDialogs)
#include "tst_SchemeDialogs.moc"
