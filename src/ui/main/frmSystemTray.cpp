#include "ui/main/frmSystemTray.h"

#include "core/ProgramState.h"
#include "ui/reporting/Pictures.h"

frmSystemTray::frmSystemTray(ProgramState& state, QObject* parent) : QObject(parent), m_state(state)
{
    m_icons[int(TrayIconRole::Normal)] = Pictures::Icon(Picture::Tray);
    m_icons[int(TrayIconRole::Editing)] = Pictures::Icon(Picture::TrayEditing);
    m_icons[int(TrayIconRole::NodFrame)] = Pictures::Icon(Picture::TrayNod);
    m_icons[int(TrayIconRole::ShakeFrame)] = Pictures::Icon(Picture::TrayShake);
    Icon.setIcon(m_icons[int(TrayIconRole::Normal)]);

    mnuSystemTray.setObjectName(QStringLiteral("mnuSystemTray"));
    mnuSystemTray.setTitle(QStringLiteral("System Tray"));
    const auto item = [this](QAction*& target, const char* name, const char* caption,
                             std::function<void()> Commands::*command) {
        target = mnuSystemTray.addAction(QLatin1String(caption));
        target->setObjectName(QLatin1String(name));
        connect(target, &QAction::triggered, this, [this, command] {
            if (Run.*command)
                (Run.*command)();
        });
    };
    item(mnuAbout, "mnuAbout", "About Savenook", &Commands::About);
    mnuSystemTray.addSeparator();
    mnuShowHide = mnuSystemTray.addAction(QStringLiteral("Show Window"));
    mnuShowHide->setObjectName(QStringLiteral("mnuShowHide"));
    connect(mnuShowHide, &QAction::triggered, this, [this] {
        const auto& command =
            mnuShowHide->text() == QLatin1String("Show Window") ? Run.ShowWindow : Run.HideWindow;
        if (command)
            command();
    });
    item(mnuExit, "mnuExit", "Stop and Exit", &Commands::Exit);
    mnuSystemTray.addSeparator();
    item(mnuRecent, "mnuRecent", "Recent Activity", &Commands::Recent);
    item(mnuOptions, "mnuOptions", "Options", &Commands::Options);
    mnuSystemTray.addSeparator();
    item(mnuAddFile, "mnuAddFile", "Add File(s)", &Commands::AddFile);
    item(mnuAddFolder, "mnuAddFolder", "Add Folder", &Commands::AddFolder);
    mnuSystemTray.addSeparator();
    item(mnuManual, "mnuManual", "Manual", &Commands::Manual);
    item(mnuHomePage, "mnuHomePage", "Home Page", &Commands::HomePage);
    mnuSystemTray.setDefaultAction(mnuShowHide);

    connect(&mnuSystemTray, &QMenu::aboutToShow, this, &frmSystemTray::UpdateMenu);
    connect(&Icon, &QSystemTrayIcon::activated, this, &frmSystemTray::OnActivated);
    Icon.setContextMenu(&mnuSystemTray);
}

frmSystemTray::~frmSystemTray()
{
    Icon.setContextMenu(nullptr);
}

bool frmSystemTray::Available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void frmSystemTray::AddTrayIcon(const QString& tooltip)
{
    Icon.setToolTip(tooltip);
    SetTrayIcon(m_editing ? TrayIconRole::Editing : TrayIconRole::Normal);
    Icon.show();
}

void frmSystemTray::SetTrayIcon(TrayIconRole role)
{
    // The icon at rest is the editing one while a dialog edits associations.
    if (role == TrayIconRole::Normal && m_editing)
        role = TrayIconRole::Editing;
    if (role == m_shown && !Icon.icon().isNull())
        return;
    m_shown = role;
    Icon.setIcon(m_icons[int(role)]);
}

void frmSystemTray::RemoveTrayIcon()
{
    Icon.hide();
}

void frmSystemTray::SetEditing(bool editing)
{
    m_editing = editing;
    SetTrayIcon(editing ? TrayIconRole::Editing : TrayIconRole::Normal);
}

void frmSystemTray::SetAddItemsEnabled(bool enabled)
{
    mnuAddFile->setEnabled(enabled);
    mnuAddFolder->setEnabled(enabled);
}

void frmSystemTray::UpdateMenu()
{
    // The pop-up must not cover the menu: it stops keeping itself on top.
    m_state.NotifyOnTop = false;
    const bool shown = Run.MainWindowShown && Run.MainWindowShown();
    mnuShowHide->setText(shown ? QStringLiteral("Hide Window") : QStringLiteral("Show Window"));
    mnuSystemTray.setDefaultAction(mnuShowHide);
}

void frmSystemTray::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    // A status-notifier host sends one activation and never a double-click;
    // an XEmbed tray sends both for a double-click. Either brings the windows back.
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        if (Run.RestoreWindows)
            Run.RestoreWindows();
        break;
    case QSystemTrayIcon::Context:
        m_state.NotifyOnTop = false;
        break;
    default:
        break;
    }
}
