#pragma once

#include "core/StatusPanels.h"

#include <QString>

#include <map>

// The status bar's panels as plain texts, counting the updates.
class FakeStatusPanels : public StatusPanels
{
  public:
    std::map<QString, QString> Texts;
    int Updates = 0;

    void SetPanelText(const QString& key, const QString& text) override
    {
        Texts[key] = text;
        ++Updates;
    }
    QString PanelText(const QString& key) const override
    {
        const auto it = Texts.find(key);
        return it == Texts.end() ? QString() : it->second;
    }
};
