#include "ui/dialogs/FolderBrowser.h"

#include <QDir>

QString BrowseForFolder(QWidget* parent, const QString& title, const QString& startFolder,
                        QFileDialog::Options options)
{
    const QString current = QDir::currentPath();
    QString chosen = QFileDialog::getExistingDirectory(parent, title, startFolder, options);
    QDir::setCurrent(current);
    if (!chosen.isEmpty())
        chosen = QDir::cleanPath(chosen);
    return chosen;
}
