#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// Every question, message and file dialog of the main window goes through one
// object, so tests can answer them without anyone at the keyboard.
class Prompts
{
  public:
    enum class Icon { None, Information, Exclamation, Question };

    virtual ~Prompts() = default;
    // A message box titled "Savenook"; the button the user pressed (Ok for a
    // box with only Ok, Cancel when it was closed otherwise).
    virtual QMessageBox::StandardButton Message(QWidget* parent, Icon icon, const QString& text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    // Full paths of the chosen files; empty when cancelled.
    virtual QStringList OpenFiles(QWidget* parent, const QString& title, const QString& filter);
    // The chosen folder; empty when cancelled.
    virtual QString BrowseFolder(QWidget* parent, const QString& prompt);
    virtual void Beep();
};
