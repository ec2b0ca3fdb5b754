#include "ui/reporting/frmNotification.h"

#include "core/ProgramState.h"
#include "reporting/colNotifiers.h"
#include "settings/Options.h"
#include "ui/dialogs/ShellIcons.h"
#include "ui/reporting/Pictures.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace {
const QColor kBackground(128, 128, 128), kShade(64, 64, 64), kBorder(40, 40, 40);
const QString kScanning = QStringLiteral("Scanning for updated files...");

QLabel* label(QWidget* parent, const char* name, bool bold, const QColor& colour = Qt::white)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    // Paths are shown as they are: a name may hold "<" or "&".
    l->setTextFormat(Qt::PlainText);
    QFont f = l->font();
    f.setBold(bold);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    return l;
}

int textWidth(const QLabel* l, const QString& text)
{
    return QFontMetrics(l->font()).horizontalAdvance(text);
}
} // namespace

frmNotification::frmNotification(ProgramState& state, const Options& options, colNotifiers& queue,
                                 QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_state(state),
      m_options(options), m_queue(queue)
{
    setObjectName(QStringLiteral("frmNotification"));
    setWindowTitle(QStringLiteral("Savenook"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);

    imgCloseArea = label(this, "imgCloseArea", false);
    imgCloseArea->setAlignment(Qt::AlignCenter);
    imgCloseArea->setCursor(Qt::PointingHandCursor);
    imgCloseArea->setToolTip(m_options.AutoAdvance ? QStringLiteral("Close") : QStringLiteral("Next"));
    imgCloseArea->installEventFilter(this);
    lblStatus = label(this, "lblStatus", true);
    lblSourceCaption = label(this, "lblSourceCaption", true);
    lblSourceCaption->setText(QStringLiteral("Source File     "));
    imgSource = label(this, "imgSource", false);
    lblSource = label(this, "lblSource", false);
    lblDestinationCaption = label(this, "lblDestinationCaption", true);
    lblDestinationCaption->setText(QStringLiteral("Destination Folder     "));
    imgDestination = label(this, "imgDestination", false);
    lblDestination = label(this, "lblDestination", false);
    imgSavenook = label(this, "imgSavenook", false);

    const Metrics m = metrics();
    const qreal ratio = devicePixelRatioF();
    imgCloseArea->setPixmap(Pictures::Pixmap(
        m_options.AutoAdvance ? Picture::CloseMinimise : Picture::CloseAdvance, m.close, ratio));
    imgSavenook->setPixmap(Pictures::Pixmap(Picture::Logo, m.logo, ratio));
    imgDestination->setPixmap(Pictures::Pixmap(Picture::Folder, m.icon, ratio));

    // Until the first result the pop-up is the bar; it is shown only by a result or a scan.
    setStatus(kScanning, Qt::white);
    m_source = m_destination = QStringLiteral("-");
    resize(m.designedWidth, m.bar + m.pad / 2);
    layOut(false);

    m_state.NotifyOnTop = true;
    m_state.OwnWindowActivated = false;
    connect(&tmrOnTop, &QTimer::timeout, this, &frmNotification::OnTopTick);
    OnTopTick();
    WorkArea = [this] {
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        return s ? s->availableGeometry() : QRect(0, 0, 800, 600);
    };
    SecondsPerNotification = 0;
    connect(&tmrNextNotify, &QTimer::timeout, this, &frmNotification::ShowNextNotification);
    tmrNextNotify.start(250);
}

frmNotification::~frmNotification() = default;

frmNotification::Metrics frmNotification::metrics() const
{
    QFont bold = font();
    bold.setBold(true);
    const int line = QFontMetrics(font()).height(), boldLine = QFontMetrics(bold).height();
    Metrics m{};
    m.pad = qMax(4, line / 3);
    m.close = line;
    m.bar = qMax(boldLine, m.close) + m.pad;
    m.icon = qMax(16, line);
    m.logo = 2 * line + m.pad;
    m.labelLeft = 2 * m.pad + m.icon + m.pad;
    // Caption, icon row, caption, icon row below the bar, with a gap between them.
    m.fullHeight = m.bar + m.pad + 2 * (boldLine + m.pad / 2 + m.icon + m.pad);
    // The designed proportions: 4680 by 1605.
    m.designedWidth = m.fullHeight * 4680 / 1605;
    return m;
}

void frmNotification::layOut(bool full)
{
    const Metrics m = metrics();
    m_full = full;
    imgCloseArea->setGeometry(0, 0, m.bar, m.bar);
    const int statusLeft = m.bar + m.pad / 2, statusRoom = qMax(0, width() - statusLeft - m.pad);
    const QString status = lblStatus->property("fullText").toString();
    lblStatus->setText(lblStatus->fontMetrics().elidedText(status, Qt::ElideRight, statusRoom));
    lblStatus->setGeometry(statusLeft, 0, statusRoom, m.bar);

    const int left = 2 * m.pad;
    const int captionHeight = lblSourceCaption->sizeHint().height();
    const int logoLeft = width() - m.logo - 2 * m.pad;
    const int textRoom = qMax(0, logoLeft - m.pad - m.labelLeft);
    int y = m.bar + m.pad;
    const auto row = [&](QLabel* caption, QLabel* icon, QLabel* text, const QString& value) {
        caption->setGeometry(left, y, textWidth(caption, caption->text()) + m.pad, captionHeight);
        y += captionHeight + m.pad / 2;
        icon->setGeometry(left, y, m.icon, m.icon);
        text->setText(text->fontMetrics().elidedText(value, Qt::ElideMiddle, textRoom));
        text->setToolTip(text->text() == value ? QString() : value);
        text->setGeometry(m.labelLeft, y, textRoom, m.icon);
        y += m.icon + m.pad;
    };
    row(lblSourceCaption, imgSource, lblSource, m_source);
    row(lblDestinationCaption, imgDestination, lblDestination, m_destination);
    imgSavenook->setGeometry(logoLeft, m.bar + m.pad, m.logo, m.logo);
    imgSource->setVisible(full);
    imgDestination->setVisible(full);
    update();
}

void frmNotification::setStatus(const QString& text, const QColor& colour)
{
    lblStatus->setProperty("fullText", text);
    lblStatus->setText(text);
    QPalette p = lblStatus->palette();
    p.setColor(QPalette::WindowText, colour);
    lblStatus->setPalette(p);
}

QRect frmNotification::area() const
{
    return WorkArea ? WorkArea() : QRect(0, 0, 800, 600);
}

void frmNotification::growTo(int needed)
{
    // Within one pop-up the width only grows, and never beyond the work area.
    const int w = qMin(qMax(width(), needed), area().width());
    if (w != width())
        resize(w, height());
}

void frmNotification::place()
{
    const QRect a = area();
    if (width() > a.width())
        resize(a.width(), height());
    move(a.x() + a.width() - width(), a.y() + a.height() - height());
    layOut(m_full);
}

void frmNotification::ShowNextNotification()
{
    const Metrics m = metrics();
    if (m_queue.Count() == 0) {
        if (!m_state.Detecting) {
            tmrNextNotify.stop();
            tmrNextNotify.setInterval(0);
            Unload();
            return;
        }
        m_state.OwnWindowActivated = true;
        if (!m_options.ShowScanning)
            hide();
        if (NotificationShown) {
            setStatus(kScanning, Qt::white);
            tmrNextNotify.setInterval(100);
            m_source = m_destination = QStringLiteral("-");
            resize(width(), m.bar + m.pad / 2);
            NotificationShown = false;
            layOut(false);
        }
        place();
        return;
    }

    const clsNotifier r = *m_queue.Item(1);
    NotificationShown = true;
    const QString status = StatusText(r.Message);
    setStatus(status, StatusColour(r.Message));
    m_source = SourceText(r.Source, m_options.FullSource);
    m_destination = DestinationText(r.Destination, m_options.FullDest);
    const qreal ratio = devicePixelRatioF();
    if (QFileInfo(r.Source).isFile())
        imgSource->setPixmap(SmallFileIcon(r.Source).pixmap(QSize(m.icon, m.icon), ratio));
    else
        imgSource->setPixmap(Pictures::Pixmap(Picture::File, m.icon, ratio));
    resize(width(), m.fullHeight);

    // Room for the longest text and the logo beside it.
    int widest = textWidth(lblStatus, status) + m.bar + m.pad / 2 - m.labelLeft;
    for (const QString& text : {m_source, m_destination})
        widest = qMax(widest, textWidth(lblSource, text));
    growTo(m.labelLeft + widest + m.pad + m.logo + 2 * m.pad);
    layOut(true);
    place();
    ShowNoActivate();

    if (!m_options.AutoAdvance) {
        tmrNextNotify.stop();
        tmrNextNotify.setInterval(0);
    } else {
        if (SecondsPerNotification == 0)
            SecondsPerNotification = m_options.AdvanceSeconds / m_queue.Count();
        // At least 100 ms, however long the backlog: each result gets a glimpse.
        const double ms = SecondsPerNotification * 1000;
        AdvanceMilliseconds = ms >= 100 ? int(qMin(ms, 2147483647.0)) : 100;
        tmrNextNotify.start(AdvanceMilliseconds);
    }
    m_queue.Remove(1);
}

void frmNotification::ShowNoActivate()
{
    if (!isVisible())
        show();
    raise();
}

void frmNotification::ShowScanningBar()
{
    if (!NotificationShown && m_options.ShowScanning) {
        place();
        ShowNoActivate();
    }
}

void frmNotification::CloseClicked()
{
    if (m_options.AutoAdvance) {
        for (int i = m_queue.Count(); i >= 1; --i)
            m_queue.Remove(i);
        // While a folder is still being processed the scan would bring the bar
        // straight back: stay hidden until it ends.
        if (m_state.Detecting) {
            m_state.NotifyDismissed = true;
            hide();
        } else {
            Unload();
        }
        return;
    }
    if (!NotificationShown)
        hide();
    tmrNextNotify.start(100);
}

void frmNotification::Unload()
{
    if (m_unloading)
        return;
    m_unloading = true;
    tmrNextNotify.stop();
    tmrOnTop.stop();
    close();
}

void frmNotification::OnTopTick()
{
    if (m_state.OwnWindowActivated) {
        tmrOnTop.stop();
    } else if (m_state.NotifyOnTop) {
        // Kept above the user's windows until one of ours is used or the tray menu opens.
        if (isVisible())
            raise();
        tmrOnTop.start(100);
    } else {
        tmrOnTop.stop();
    }
}

QColor frmNotification::StatusColour(const QString& message)
{
    const QStringView first = QStringView(message).left(5);
    if (first == QLatin1String("Error"))
        return QColor(255, 192, 192);
    if (first == QLatin1String("Delay"))
        return QColor(255, 255, 192);
    return QColor(192, 192, 255);
}

QString frmNotification::StatusText(const QString& message)
{
    QString text = message;
    return text.replace(QLatin1String("&&"), QLatin1String("&"));
}

QString frmNotification::SourceText(const QString& source, bool full)
{
    return full ? source : source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
}

QString frmNotification::DestinationText(const QString& destination, bool full)
{
    if (full)
        return destination;
    QString path = destination;
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() < 2)
        return parts.value(0);
    return parts.at(parts.size() - 2) + QLatin1Char('/') + parts.last();
}

bool frmNotification::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imgCloseArea && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && imgCloseArea->rect().contains(mouse->position().toPoint()))
            CloseClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmNotification::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.fillRect(QRect(0, 0, width(), metrics().bar), kShade);
    p.setPen(kBorder);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmNotification::closeEvent(QCloseEvent* event)
{
    m_state.NotifyDismissed = false;
    tmrNextNotify.stop();
    tmrOnTop.stop();
    QWidget::closeEvent(event);
    Q_EMIT Unloaded();
}
