#pragma once

#include "core/clsBackup.h"
#include "engine/PreviousVersions.h"
#include "platform/FileCopier.h"
#include "reporting/colRecent.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// Lists what is held of one file of an association in its destinations and
// opens, compares or puts back one of those copies.
class frmPreviousVersions : public QDialog
{
    Q_OBJECT
  public:
    // What the window asks of the user and the desktop; tests replace them.
    struct Seams
    {
        std::function<QString(QWidget*, const QString& folder)> ChooseFile;
        std::function<QString(QWidget*, const QString& suggested)> ChooseTarget; // "Restore to..."
        std::function<bool(QWidget*, const QString& question)> Confirm;
        std::function<void(QWidget*, const QString& text)> Tell;
        std::function<void(const QString& path)> OpenPath; // a file or a folder, with the desktop's program
        std::function<void(QWidget*, const QString& diff)> ShowDiff;
    };

    // keepAsVersion backs a file up as usual and says whether a destination now holds it.
    frmPreviousVersions(const clsBackup& backup, PreviousVersions& versions, FileCopier& copier,
                        colRecent& recent, std::function<bool(const QString&)> keepAsVersion,
                        QWidget* parent = nullptr);

    Seams Ask;
    // Shows the copies of this file (below a folder association's source, or the file itself).
    void SetFile(const QString& filePath);
    QString File() const { return m_file; }
    // The listed copies, in the order shown.
    const std::vector<PreviousVersions::Copy>& Copies() const { return m_listing.Copies; }
    void SelectCopy(int index);

    void OpenCopy();
    void ShowFolder();
    void Compare();
    void Restore(bool elsewhere);

  private:
    void refresh();
    void updateButtons();
    const PreviousVersions::Copy* selected() const;

    clsBackup m_backup;
    PreviousVersions& m_versions;
    FileCopier& m_copier;
    colRecent& m_recent;
    std::function<bool(const QString&)> m_keepAsVersion;
    QString m_file;
    PreviousVersions::Listing m_listing;
    QLabel* lblFile = nullptr;
    QComboBox* cboDeleted = nullptr;
    QTreeWidget* lstVersions = nullptr;
    QPushButton *cmdChoose = nullptr, *cmdOpen = nullptr, *cmdFolder = nullptr, *cmdCompare = nullptr,
                *cmdRestore = nullptr, *cmdRestoreTo = nullptr;
};
