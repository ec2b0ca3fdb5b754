#pragma once

#include <QFileDialog>
#include <QString>

class QWidget;

// The folder picker of the adding commands and the destination list. Returns
// the chosen folder, or the empty text when cancelled. Linux pickers give
// folders only (no bare network computers), so there is no "//" answer.
// The process's current folder is put back afterwards: some pickers move it.
QString BrowseForFolder(QWidget* parent, const QString& title, const QString& startFolder = QString(),
                        QFileDialog::Options options = QFileDialog::ShowDirsOnly);
