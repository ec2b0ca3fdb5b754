#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

// The message boxes of the options and scheme dialogs, all titled "Savenook".
// Each dialog calls them through a replaceable function, so tests can answer.
namespace DialogMessages {

using Function = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons)>;

inline QMessageBox::StandardButton Real(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                        QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, QStringLiteral("Savenook"), text, buttons, parent);
    const int answer = box.exec();
    return static_cast<QMessageBox::StandardButton>(answer);
}

} // namespace DialogMessages
