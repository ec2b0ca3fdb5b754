#pragma once

#include "core/StatusPanels.h"

#include <QHash>
#include <QString>

// The status bar's panels as plain texts, counting the updates.
class FakeStatusPanels : public StatusPanels
{
  public:
    QHash<QString, QString> Texts;
    int Updates = 0;

    void SetPanelText(const QString& key, const QString& text) override
    {
        Texts[key] = text;
        ++Updates;
    }
    QString PanelText(const QString& key) const override { return Texts.value(key); }
};
