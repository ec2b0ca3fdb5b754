#include "ui/main/frmSavenook.h"

#include "core/Main.h"
#include "core/Stores.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>

namespace {
// 9000 x 5250 twips at 96 dots per inch.
constexpr QSize kStartSize(600, 350);
constexpr QSize kMinimumSize(490, 300);
} // namespace

frmSavenook::frmSavenook(ProgramState& state, QWidget* parent) : QMainWindow(parent), m_state(state)
{
    setWindowTitle(QStringLiteral("Savenook"));
    setObjectName(QStringLiteral("frmSavenook"));
    setMinimumSize(kMinimumSize);
    setCentralWidget(new QWidget(this));

    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&Window"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = mnuFile->addAction(QStringLiteral("Stop and Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, [this] { ExitSequence(true); });

    // Keys and order are the program's own; the last one takes the spare width.
    const struct
    {
        const char* key;
        int stretch;
    } panels[] = {{"Backups", 0}, {"Running", 0}, {"Volume", 0}, {"Scheme", 1}};
    for (const auto& panel : panels) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("sbStatusBar_%1").arg(QLatin1String(panel.key)));
        statusBar()->addWidget(label, panel.stretch);
        m_panels[QLatin1String(panel.key)] = label;
    }
    m_panels.at(QStringLiteral("Running"))->installEventFilter(this);
    m_state.Status = this;

    tmrExit.setInterval(100);
    connect(&tmrExit, &QTimer::timeout, this, &frmSavenook::OnExitTimer);
}

frmSavenook::~frmSavenook()
{
    if (m_state.Status == this)
        m_state.Status = nullptr;
}

void frmSavenook::Load(const std::function<void(const clsBackup&)>& onLoaded)
{
    resize(kStartSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    SetPanelText(QStringLiteral("Running"), QStringLiteral("Initializing... "));
    SetPanelText(QStringLiteral("Scheme"), QStringLiteral("Recent scheme: <n/a> "));
    SetPanelText(QStringLiteral("Volume"), QStringLiteral("Drive Volume of Selected: <n/a> "));
    LoadBackups(m_state, onLoaded);
    LoadDestinations(m_state);
    UpdateAssociationCount(m_state);
}

void frmSavenook::SetPanelText(const QString& key, const QString& text)
{
    if (const auto it = m_panels.find(key); it != m_panels.end())
        it->second->setText(text);
}

QString frmSavenook::PanelText(const QString& key) const
{
    const auto it = m_panels.find(key);
    return it == m_panels.end() ? QString() : it->second->text();
}

void frmSavenook::ShowNormalAndActivate()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    showNormal();
    raise();
    activateWindow();
}

bool frmSavenook::ExitSequence(bool askWhileScanning)
{
    // A second request (another signal, the menu during the wait) must not save
    // the paused flag again: by now it reads true.
    if (m_state.Exiting)
        return true;
    if (askWhileScanning && m_state.Scanning) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Savenook"),
            QStringLiteral("Savenook is in the process of scanning for updated files\nExit program anyway?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return false;
    }
    Q_EMIT ExitStarted();
    Main::Trace(QStringLiteral("exit requested"));
    // Saved before Paused is forced on, so the next start resumes as the user left it.
    SavePausedState(m_state);
    m_state.SetRunningText(QStringLiteral("Exiting... "));
    m_state.Paused = true;
    if (mnuPaused)
        mnuPaused->setEnabled(false);
    m_state.Scanning = false;
    m_state.StopScanning = true;
    m_state.Exiting = true;
    tmrExit.start();
    return true;
}

void frmSavenook::OnExitTimer()
{
    if (!m_state.WatchStopped)
        return;
    tmrExit.stop();
    close();
}

void frmSavenook::QueryUnload()
{
    SaveBackups(m_state);
    SaveDestinations(m_state);
}

void frmSavenook::closeEvent(QCloseEvent* event)
{
    QueryUnload();
    if (!m_state.Exiting) {
        event->ignore();
        hide();
        return;
    }
    if (CloseAllNotifications)
        CloseAllNotifications();
    if (RemoveTrayIcon)
        RemoveTrayIcon();
    event->accept();
    Main::Trace(QStringLiteral("unloaded"));
    Q_EMIT Unloaded();
}

void frmSavenook::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    TraceVisibility(true);
}

void frmSavenook::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    TraceVisibility(false);
}

void frmSavenook::TraceVisibility(bool visible)
{
    if (m_tracedVisible == int(visible))
        return;
    m_tracedVisible = int(visible);
    Main::Trace(visible ? QStringLiteral("window shown") : QStringLiteral("window hidden"));
}

bool frmSavenook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && watched == m_panels.at(QStringLiteral("Running")))
        Q_EMIT RunningPanelClicked();
    return QMainWindow::eventFilter(watched, event);
}
