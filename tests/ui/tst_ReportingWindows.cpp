// The pop-up driven tick by tick (no waiting); the recent-activity window's records, refresh and placing.
#include "core/ProgramState.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"
#include "support/TestEnvironment.h"
#include "support/UiFakes.h"
#include "ui/reporting/frmNotification.h"
#include "ui/reporting/frmRecentLog.h"

#include <QLabel>
#include <QScrollBar>
#include <QTextEdit>
#include <QtTest>

class tst_ReportingWindows : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    std::unique_ptr<ProgramState> m_state;
    std::unique_ptr<colNotifiers> m_queue;
    std::unique_ptr<colRecent> m_recent;
    std::array<qint16, 4> m_placement{};
    Options m_options;
    QPointer<frmNotification> m_popup; // null once it has closed itself
    const QRect m_area{0, 0, 1000, 700};

    frmNotification& load()
    {
        m_popup = new frmNotification(*m_state, m_options, *m_queue);
        m_popup->WorkArea = [this] { return m_area; };
        return *m_popup;
    }
    void add(int n, const QString& name = "f")
    {
        for (int i = 0; i < n; ++i)
            m_recent->Add("t", "/src/" + name + QString::number(i), "SV", "/dst", "DV", "Copy saved");
    }
    static QString text(const frmRecentLog& log) { return log.txtLog->toPlainText(); }
    void queue(int count)
    {
        for (int i = 0; i < count; ++i)
            m_queue->Add(QStringLiteral("/home/u/Work/a%1.txt").arg(i), "/mnt/Backup/Work", "Copy saved");
    }

  private Q_SLOTS:
    void init()
    {
        m_state = std::make_unique<ProgramState>();
        m_queue = std::make_unique<colNotifiers>(*m_state);
        m_recent = std::make_unique<colRecent>(*m_state);
        m_placement = {};
        m_options = Options();
    }
    void cleanup() { delete m_popup; }

    // The backlog found by the first result takes AdvanceSeconds in all, never under 100 ms a result.
    void advanceTimeSharesTheBacklog_data()
    {
        QTest::addColumn<int>("queued");
        QTest::addColumn<int>("interval");
        Row("three in 3 s", 3, 1000);
        Row("ten thousand", 10000, 100);
    }
    void advanceTimeSharesTheBacklog()
    {
        QFETCH(int, queued);
        QFETCH(int, interval);
        m_options.AdvanceSeconds = 3;
        queue(queued);
        frmNotification& popup = load();
        QCOMPARE(popup.tmrNextNotify.interval(), 250);
        popup.ShowNextNotification();
        QCOMPARE(popup.tmrNextNotify.interval(), interval);
        // Results queued later keep the same time each.
        queue(5);
        popup.ShowNextNotification();
        QCOMPARE(popup.tmrNextNotify.interval(), interval);
    }

    // Widens up to the work area, never narrower again; a dry queue ends it or makes it the scanning bar.
    void widthGrowsInTheCornerAndAnEmptyQueueEndsOrTurnsIntoTheScanningBar()
    {
        m_options.ShowScanning = true;
        queue(1);
        m_queue->Add("/x/" + QString(300, 'n'), "/m/d", "Copy saved");
        queue(1);
        frmNotification& popup = load();
        popup.ShowNextNotification();
        const int first = popup.width(), fullHeight = popup.height();
        popup.ShowNextNotification();
        QCOMPARE(popup.width(), m_area.width());
        popup.ShowNextNotification();
        QVERIFY(popup.width() > first);
        QCOMPARE(popup.geometry().bottomRight(), m_area.bottomRight());
        QVERIFY(popup.NotificationShown);

        m_state->Detecting = true;
        popup.ShowNextNotification();
        QVERIFY(!popup.NotificationShown);
        QCOMPARE(popup.lblStatus->text(), QStringLiteral("Scanning for updated files..."));
        QCOMPARE(popup.lblSource->text(), QStringLiteral("-"));
        QCOMPARE(popup.tmrNextNotify.interval(), 100);
        QVERIFY(popup.height() < fullHeight);
        QVERIFY(m_state->OwnWindowActivated);
        QCOMPARE(popup.geometry().bottomRight(), m_area.bottomRight());

        // A result arriving meanwhile comes at the next tick, at full height.
        queue(1);
        popup.ShowNextNotification();
        QCOMPARE(popup.height(), fullHeight);

        m_state->Detecting = false;
        m_state->NotifyDismissed = true;
        popup.ShowNextNotification();
        QVERIFY(!popup.tmrNextNotify.isActive());
        QTRY_VERIFY(m_popup.isNull());
        QVERIFY(!m_state->NotifyDismissed);
    }

    void closeClickAdvancesOrDismisses()
    {
        m_options.AutoAdvance = false;
        queue(2);
        load().ShowNextNotification();
        QVERIFY(!m_popup->tmrNextNotify.isActive()); // waits for the click
        m_popup->CloseClicked();
        QVERIFY(m_popup->tmrNextNotify.isActive());
        QCOMPARE(m_popup->tmrNextNotify.interval(), 100);
        delete m_popup;

        // With auto-advance a click empties the queue; during a scan it only hides.
        m_options.AutoAdvance = true;
        queue(3);
        load().ShowNextNotification();
        m_state->Detecting = true;
        m_popup->CloseClicked();
        QCOMPARE(m_queue->Count(), 0);
        QVERIFY(m_state->NotifyDismissed);
        QVERIFY(!m_popup->isVisible());
        m_state->Detecting = false;
        m_popup->CloseClicked();
        QTRY_VERIFY(m_popup.isNull());
    }

    // The status colour goes by the first five characters, in their case.
    void pathFormsStatusAndColour_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<QString>("sent");  // source|destination|message
        QTest::addColumn<QString>("shown"); // source|destination|status
        QTest::addColumn<QColor>("colour");
        const QColor red(255, 192, 192), yellow(255, 255, 192), blue(192, 192, 255);
        Row("short, error", false, "/u/a.txt|/mnt/B/Work|Error: gone", "a.txt|B/Work|Error: gone", red);
        Row("short, one part, delay", false, "a.txt|Backup|Delay: busy", "a.txt|Backup|Delay: busy", yellow);
        Row("trailing slash, lower case", false, "/a|/mnt/Backup/|error: no", "a|mnt/Backup|error: no", blue);
        Row("full, ampersand", true, "/home/u/a.txt|/mnt/Backup/Work|Copy saved && Previous version stored",
            "/home/u/a.txt|/mnt/Backup/Work|Copy saved & Previous version stored", blue);
        Row("markup, short", false, "/x/<b>&amp;.txt|/m/<i>|Err", "<b>&amp;.txt|m/<i>|Err", blue);
    }
    void pathFormsStatusAndColour()
    {
        QFETCH(bool, full);
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        QFETCH(QColor, colour);
        m_options.FullSource = m_options.FullDest = full;
        const QStringList parts = sent.split('|');
        m_queue->Add(parts[0], parts[1], parts[2]);
        frmNotification& popup = load();
        popup.ShowNextNotification();
        QCOMPARE(popup.lblSource->text() + "|" + popup.lblDestination->text() + "|" + popup.lblStatus->text(),
                 shown);
        QCOMPARE(popup.lblSource->textFormat(), Qt::PlainText);
        QCOMPARE(popup.lblStatus->palette().color(QPalette::WindowText), colour);
    }

    // After a trim Count is where it was before: only the growing counter shows the new records.
    void recentLogNewestFirstWithLabelsAndMarkupAsTextAndRefreshedAfterATrim()
    {
        add(9, "old");
        m_state->ManualSync = true;
        m_recent->Add("now", "/src/<b>a&amp;b</b>", "SV", "<n/a>", "DV", "Copy saved & stored");
        frmRecentLog log(*m_state, *m_recent, m_placement);
        const QString shown = text(log);
        QVERIFY(shown.startsWith("now\nSource Volume: SV\nSource Path: /src/<b>a&amp;b</b>\n"
                                 "Destination Volume: DV\nDestination Path: <n/a>/\n"
                                 "- Copy saved & stored\nProcessed in manual synchronization\n\n\nt\n"));
        QVERIFY(shown.indexOf("old0") > shown.indexOf("<b>"));
        QCOMPARE(log.txtLog->textCursor().position(), 0);
        // The labels are bold and underlined, the values plain.
        QTextCursor at(log.txtLog->document());
        at.setPosition(shown.indexOf("Source Path") + 1);
        QVERIFY(at.charFormat().fontUnderline() && at.charFormat().fontWeight() == QFont::Bold);
        at.setPosition(shown.indexOf("<b>") + 1);
        QVERIFY(!at.charFormat().fontUnderline() && at.charFormat().fontWeight() != QFont::Bold);

        QCOMPARE(log.tmrRefresh.interval(), 500);
        add(90, "new");
        m_recent->Trim();
        log.Refresh();
        QVERIFY(text(log).startsWith("t\nSource Volume: SV\nSource Path: /src/new89\n"));
        QCOMPARE(text(log).count("Source Path"), 10);
    }
    // Also: the placement kept across a close, and the minimum size.
    void refreshKeepsTheReadersPlaceAndCloseKeepsThePlacement()
    {
        add(40);
        auto* log = new frmRecentLog(*m_state, *m_recent, m_placement);
        QCOMPARE(log->minimumSize(), QSize(400, 300));
        log->setGeometry(20, 30, 500, 300);
        log->show();
        const QString mark = QStringLiteral("Source Path: /src/f20"); // only one record has it
        QVERIFY(log->txtLog->find(mark)); // selected, and scrolled to halfway down
        QScrollBar* bar = log->txtLog->verticalScrollBar();
        QVERIFY(bar->value() > 0);
        const int seen = log->txtLog->cursorRect().top(); // where the reader sees it

        add(2, "new");
        log->Refresh();
        QVERIFY(text(*log).contains("/src/new1"));
        QCOMPARE(log->txtLog->textCursor().selectedText(), mark);
        QCOMPARE(log->txtLog->cursorRect().top(), seen);

        // Back at the top with nothing selected, the newest record shows.
        bar->setValue(0);
        log->txtLog->moveCursor(QTextCursor::Start);
        add(1, "newest");
        log->Refresh();
        QCOMPARE(bar->value(), 0);
        QVERIFY(text(*log).startsWith("t\nSource Volume: SV\nSource Path: /src/newest0"));

        log->close(); // saves the placement, then deletes itself
        QCOMPARE(frmRecentLog(*m_state, *m_recent, m_placement).size(), QSize(500, 300));
        m_placement[0] = 30000; // a top beyond the work area opens at its top
        QCOMPARE(frmRecentLog(*m_state, *m_recent, m_placement).y(), 0);
    }
};

QTEST_MAIN(tst_ReportingWindows)
#include "tst_ReportingWindows.moc"
