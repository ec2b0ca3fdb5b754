#pragma once

#include "engine/NetworkPaths.h"

#include <QDialog>
#include <QString>

class Prompts;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// "Edit Source Volumes": the volume names an association's source drive may
// carry, and whether a drive without a name passes.
class frmEditVolumes : public QDialog
{
    Q_OBJECT
  public:
    // volumes is the encoded list; sourcePath names the drive "Retrieve" reads.
    frmEditVolumes(const QString& volumes, const QString& sourcePath, const NetworkPaths& paths,
                   Prompts& prompts, QWidget* parent = nullptr);

    // The encoded list after OK.
    QString Volumes() const { return m_volumes; }

    QListWidget* lbxVolumes = nullptr;
    QLineEdit* txtVolume = nullptr;
    QPushButton *cmdAdd = nullptr, *cmdRemove = nullptr, *cmdRetrieve = nullptr, *cmdOk = nullptr,
                *cmdCancel = nullptr;
    QCheckBox* chkNoVol = nullptr;

    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdRetrieve_Click();
    void cmdOk_Click();
    void chkNoVol_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString m_volumes;
    QString m_sourcePath;
    NetworkPaths m_paths;
    Prompts& m_prompts;
};
