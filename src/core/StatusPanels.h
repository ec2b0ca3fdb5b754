#pragma once

#include <QString>

// The main window's status bar as the lower rooms see it: panels addressed by
// key ("Backups", "Running", "Scheme"). The window implements it.
class StatusPanels
{
  public:
    virtual ~StatusPanels() = default;
    virtual void SetPanelText(const QString& key, const QString& text) = 0;
    virtual QString PanelText(const QString& key) const = 0;
};
