#include "ui/reporting/frmRecentLog.h"

#include "core/ProgramState.h"
#include "reporting/colRecent.h"
#include "ui/dialogs/WindowPrefs.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
constexpr QSize kMinimumSize(400, 300);
constexpr qint16 kStartWidth = 9330, kStartHeight = 5300;

QScreen* screenOf(const QWidget* w)
{
    return w->screen() ? w->screen() : QGuiApplication::primaryScreen();
}

// The rich-text box shows a line break as a new paragraph, never as a stray
// carriage return.
QString lines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

frmRecentLog::frmRecentLog(ProgramState& state, const colRecent& recent, std::array<qint16, 4>& placement,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), m_state(state), m_recent(recent), m_placement(placement)
{
    setObjectName(QStringLiteral("frmRecentLog"));
    setWindowTitle(QStringLiteral("Savenook's Recent Activity"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(kMinimumSize);

    txtLog = new QTextEdit(this);
    txtLog->setObjectName(QStringLiteral("txtLog"));
    txtLog->setReadOnly(true);
    // Selectable and copyable, never editable.
    txtLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, layout->spacing());
    layout->addWidget(txtLog, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cmdClose);
    row->addStretch(1);
    layout->addLayout(row);

    LastCount = m_recent.Added();
    RestoreLogPlacement();
    RenderLog();
    tmrRefresh.setInterval(500);
    connect(&tmrRefresh, &QTimer::timeout, this, &frmRecentLog::Refresh);
    tmrRefresh.start();
}

frmRecentLog::~frmRecentLog() = default;

void frmRecentLog::RenderLog()
{
    render(0);
    txtLog->moveCursor(QTextCursor::Start);
}

int frmRecentLog::render(qint64 newRecords)
{
    txtLog->clear();
    QTextCursor at(txtLog->document());
    QTextCharFormat plain, bold, label;
    bold.setFontWeight(QFont::Bold);
    label.setFontWeight(QFont::Bold);
    label.setFontUnderline(true);
    // insertText takes text as it is: a name holding "<" or "&" is never read as markup.
    const auto field = [&](const QString& caption, const QString& value) {
        at.insertText(caption, label);
        at.insertText(lines(value) + QLatin1Char('\n'), plain);
    };
    int newLength = 0;
    for (int i = m_recent.Count(); i >= 1; --i) {
        const clsRecent* r = m_recent.Item(i);
        at.insertText(lines(r->DateAndTime) + QLatin1Char('\n'), plain);
        field(QStringLiteral("Source Volume: "), r->SourceVolume);
        field(QStringLiteral("Source Path: "), r->SourcePath);
        field(QStringLiteral("Destination Volume: "), r->DestVolume);
        field(QStringLiteral("Destination Path: "), r->DestPath + QLatin1Char('/'));
        at.insertText(QStringLiteral("- ") + lines(r->Message) + QStringLiteral("\n\n\n"), bold);
        if (m_recent.Count() - i + 1 == newRecords)
            newLength = at.position();
    }
    return newLength;
}

void frmRecentLog::Refresh()
{
    const qint64 added = m_recent.Added();
    if (added == LastCount)
        return;
    QScrollBar* bar = txtLog->verticalScrollBar();
    const int scrolled = bar->value();
    // Plain numbers: a cursor would follow the text being cleared.
    const int anchor = txtLog->textCursor().anchor(), position = txtLog->textCursor().position();
    const bool keepPlace = scrolled > 0 || anchor != position;

    const int shift = render(qMin<qint64>(added - LastCount, m_recent.Count()));
    LastCount = added;
    tmrRefresh.start(500);
    if (!keepPlace) {
        txtLog->moveCursor(QTextCursor::Start);
        return;
    }
    // The reader's text moved down by what was added above it; follow it there.
    const int end = txtLog->document()->characterCount() - 1;
    QTextCursor kept(txtLog->document());
    kept.setPosition(qMin(anchor + shift, end));
    kept.setPosition(qMin(position + shift, end), QTextCursor::KeepAnchor);
    txtLog->setTextCursor(kept);
    QAbstractTextDocumentLayout* layout = txtLog->document()->documentLayout();
    const qreal above = layout->blockBoundingRect(txtLog->document()->findBlock(shift)).top() -
                        layout->blockBoundingRect(txtLog->document()->begin()).top();
    bar->setValue(scrolled + qRound(above));
}

void frmRecentLog::RestoreLogPlacement()
{
    const QScreen* screen = screenOf(this);
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const qreal dpiX = screen ? screen->logicalDotsPerInchX() : 96,
                dpiY = screen ? screen->logicalDotsPerInchY() : 96;
    const auto [top, left, height, width] = m_placement;
    if (top == 0 && left == 0 && height == 0 && width == 0) {
        resize(QSize(Twips::ToPixels(kStartWidth, dpiX), Twips::ToPixels(kStartHeight, dpiY))
                   .boundedTo(area.size())
                   .expandedTo(kMinimumSize));
        move(area.center() - QPoint(this->width() / 2, this->height() / 2));
        return;
    }
    const QRect wanted = PlaceOnScreens(QRect(Twips::ToPixels(left, dpiX), Twips::ToPixels(top, dpiY),
                                              Twips::ToPixels(width, dpiX), Twips::ToPixels(height, dpiY)),
                                        area, kMinimumSize);
    resize(wanted.size());
    move(wanted.topLeft());
}

void frmRecentLog::SaveLogPlacement()
{
    const QScreen* screen = screenOf(this);
    const qreal dpiX = screen ? screen->logicalDotsPerInchX() : 96,
                dpiY = screen ? screen->logicalDotsPerInchY() : 96;
    m_placement = {Twips::FromPixels(y(), dpiY), Twips::FromPixels(x(), dpiX),
                   Twips::FromPixels(height(), dpiY), Twips::FromPixels(width(), dpiX)};
}

void frmRecentLog::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_state.OwnWindowActivated = true;
}

void frmRecentLog::closeEvent(QCloseEvent* event)
{
    SaveLogPlacement();
    tmrRefresh.stop();
    QWidget::closeEvent(event);
}
