#include "ui/dialogs/Prompts.h"

#include "ui/dialogs/FolderBrowser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

QMessageBox::StandardButton Prompts::Message(QWidget* parent, Icon icon, const QString& text,
                                             QMessageBox::StandardButtons buttons)
{
    QMessageBox::Icon shown = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None:
        break;
    case Icon::Information:
        shown = QMessageBox::Information;
        break;
    case Icon::Exclamation:
        shown = QMessageBox::Warning;
        break;
    case Icon::Question:
        shown = QMessageBox::Question;
        break;
    }
    QMessageBox box(shown, QStringLiteral("Savenook"), text, buttons, parent);
    // Every question here guards something hard to undo: Enter must not confirm it.
    if (buttons.testFlag(QMessageBox::No))
        box.setDefaultButton(QMessageBox::No);
    const int answer = box.exec();
    return answer == 0 ? QMessageBox::Cancel : QMessageBox::StandardButton(answer);
}

QStringList Prompts::OpenFiles(QWidget* parent, const QString& title, const QString& filter)
{
    const QString current = QDir::currentPath();
    const QStringList chosen = QFileDialog::getOpenFileNames(parent, title, QDir::homePath(), filter);
    QDir::setCurrent(current);
    return chosen;
}

QString Prompts::BrowseFolder(QWidget* parent, const QString& prompt)
{
    return BrowseForFolder(parent, prompt, QDir::homePath());
}

void Prompts::Beep()
{
    QApplication::beep();
}
