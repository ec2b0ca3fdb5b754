// The recent-activity window: newest first, names as text, refresh by the
// growing counter, and the reader's place kept across refreshes.
#include "core/ProgramState.h"
#include "reporting/colRecent.h"
#include "support/TestEnvironment.h"
#include "ui/reporting/frmRecentLog.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

class tst_frmRecentLog : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    std::unique_ptr<ProgramState> m_state;
    std::unique_ptr<colRecent> m_recent;
    std::array<qint16, 4> m_placement{};

    void add(int n, const QString& name = QStringLiteral("f"))
    {
        for (int i = 0; i < n; ++i)
            m_recent->Add(QStringLiteral("t"), QStringLiteral("/src/%1%2").arg(name).arg(i),
                          QStringLiteral("SV"), QStringLiteral("/dst"), QStringLiteral("DV"),
                          QStringLiteral("Copy saved"));
    }
    static QString text(const frmRecentLog& log) { return log.txtLog->toPlainText(); }

  private Q_SLOTS:
    void init()
    {
        m_state = std::make_unique<ProgramState>();
        m_recent = std::make_unique<colRecent>(*m_state);
        m_placement = {};
    }

    void newestFirstWithLabelsAndMarkupAsText()
    {
        add(1, QStringLiteral("old"));
        m_state->ManualSync = true;
        m_recent->Add(QStringLiteral("now"), QStringLiteral("/src/<b>a&amp;b</b>"), QStringLiteral("SV"),
                      QStringLiteral("<n/a>"), QStringLiteral("DV"), QStringLiteral("Copy saved & stored"));
        frmRecentLog log(*m_state, *m_recent, m_placement);
        const QString shown = text(log);
        QVERIFY(
            shown.startsWith(QStringLiteral("now\nSource Volume: SV\nSource Path: /src/<b>a&amp;b</b>\n"
                                            "Destination Volume: DV\nDestination Path: <n/a>/\n"
                                            "- Copy saved & stored\nProcessed in manual synchronization\n\n\n"
                                            "t\n")));
        QVERIFY(shown.indexOf(QStringLiteral("old0")) > shown.indexOf(QStringLiteral("<b>")));
        QCOMPARE(log.txtLog->textCursor().position(), 0);
        // The labels are bold and underlined, the values plain.
        QTextCursor at(log.txtLog->document());
        at.setPosition(shown.indexOf(QStringLiteral("Source Path")) + 1);
        QVERIFY(at.charFormat().fontUnderline() && at.charFormat().fontWeight() == QFont::Bold);
        at.setPosition(shown.indexOf(QStringLiteral("<b>")) + 1);
        QVERIFY(!at.charFormat().fontUnderline() && at.charFormat().fontWeight() != QFont::Bold);
    }

    void refreshSeesRecordsAfterATrim()
    {
        add(10);
        frmRecentLog log(*m_state, *m_recent, m_placement);
        QCOMPARE(log.tmrRefresh.interval(), 500);
        // Ninety new records, then the trim: Count is back where it was.
        add(90, QStringLiteral("new"));
        m_recent->Trim();
        QCOMPARE(m_recent->Count(), 10);
        log.Refresh();
        QVERIFY(text(log).startsWith(QStringLiteral("t\nSource Volume: SV\nSource Path: /src/new89\n")));
        QCOMPARE(text(log).count(QStringLiteral("Source Path")), 10);
    }

    void refreshKeepsTheReadersPlace()
    {
        add(40);
        frmRecentLog log(*m_state, *m_recent, m_placement);
        log.resize(500, 300);
        log.show();
        QScrollBar* bar = log.txtLog->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        // A line only one record has, and where the reader sees it.
        const auto lineAt = [&log](const QString& line) {
            QTextCursor c(log.txtLog->document());
            c.setPosition(text(log).indexOf(line));
            return log.txtLog->cursorRect(c).top();
        };
        const QString mark = QStringLiteral("Source Path: /src/f20");
        const int seen = lineAt(mark);
        QTextCursor selection(log.txtLog->document());
        selection.setPosition(text(log).indexOf(mark));
        selection.setPosition(selection.position() + mark.size(), QTextCursor::KeepAnchor);
        log.txtLog->setTextCursor(selection);

        add(2, QStringLiteral("new"));
        log.Refresh();
        QVERIFY(text(log).contains(QStringLiteral("/src/new1")));
        QCOMPARE(log.txtLog->textCursor().selectedText(), mark);
        QCOMPARE(lineAt(mark), seen);

        // Back at the top with nothing selected, the newest record shows.
        bar->setValue(0);
        log.txtLog->moveCursor(QTextCursor::Start);
        add(1, QStringLiteral("newest"));
        log.Refresh();
        QCOMPARE(bar->value(), 0);
        QVERIFY(text(log).startsWith(QStringLiteral("t\nSource Volume: SV\nSource Path: /src/newest0")));
    }

    void placementRoundTripAndMinimum()
    {
        auto* log = new frmRecentLog(*m_state, *m_recent, m_placement);
        QCOMPARE(log->minimumSize(), QSize(400, 300));
        log->setGeometry(20, 30, 450, 350);
        log->show();
        log->close(); // saves the placement, then deletes itself
        frmRecentLog again(*m_state, *m_recent, m_placement);
        QCOMPARE(again.size(), QSize(450, 350));
        m_placement[0] = 30000; // a top beyond the work area opens at its top
        QCOMPARE(frmRecentLog(*m_state, *m_recent, m_placement).y(), 0);
    }
};

QTEST_MAIN(tst_frmRecentLog)
#include "tst_frmRecentLog.moc"
