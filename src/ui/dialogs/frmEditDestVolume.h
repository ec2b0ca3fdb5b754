#pragma once

#include "core/colDestinations.h"
#include "engine/NetworkPaths.h"

#include <QDialog>
#include <QString>

class Prompts;
class QLineEdit;
class QPushButton;

// "Edit Destination Volume": the volume name one destination's drive must carry.
class frmEditDestVolume : public QDialog
{
    Q_OBJECT
  public:
    // glngDestIndex is the destination's position in working; path and volume
    // are those of the row that shows it.
    frmEditDestVolume(colDestinations& working, int glngDestIndex, const QString& path, const QString& volume,
                      const NetworkPaths& paths, Prompts& prompts, QWidget* parent = nullptr);

    const int glngDestIndex;
    QLineEdit *txtDestPath = nullptr, *txtVolume = nullptr;
    QPushButton *cmdRetrieve = nullptr, *cmdOk = nullptr, *cmdCancel = nullptr;

    void cmdRetrieve_Click();
    void cmdOk_Click();

  private:
    colDestinations& m_working;
    NetworkPaths m_paths;
    Prompts& m_prompts;
};
