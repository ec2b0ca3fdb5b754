#pragma once

#include <QDialog>
#include <QFileDevice>
#include <QString>

class QFormLayout;
class QLabel;

// A small read-only sheet of one file or folder's properties. Linux desktops
// share no common properties sheet that a program can open, so this is our own.
class FilePropertiesDialog : public QDialog
{
    Q_OBJECT
  public:
    explicit FilePropertiesDialog(const QString& path, QWidget* parent = nullptr);

    // "rwxr-x---": owner, group and others, as ls shows them.
    static QString PermissionText(QFileDevice::Permissions permissions);

  private:
    QLabel* addRow(QFormLayout* form, const QString& caption, const QString& objectName, const QString& text);
};

// Shows the properties of the file or folder at path without blocking; the
// sheet deletes itself when closed. False only when nothing is at path.
bool ShowFileProperties(const QString& path, QWidget* parent = nullptr);
