// What the window tests share: fake drives and prompts, one-line data rows, files made by their bytes.
#pragma once

#include "core/clsBackup.h"
#include "platform/Drives.h"
#include "platform/FileNames.h"
#include "platform/LocalFiles.h"
#include "support/TestFiles.h"
#include "ui/dialogs/Prompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// "/" is a ready drive named Label_, <NotReady> a drive not ready, <Network> another computer's share.
class FakeDrives : public Drives
{
  public:
    QString NotReady;
    QString Network;
    QString Label_ = QStringLiteral("SYSTEM");
    std::optional<MountEntry> MountOf(const QString& path) const override
    {
        if (!Network.isEmpty() && path.startsWith(Network + "/"))
            return MountEntry{Network, "/", "cifs", "//other/share"};
        if (!NotReady.isEmpty() && (path == NotReady || path.startsWith(NotReady + "/")))
            return MountEntry{NotReady, "/", "ext4", "/dev/sdb1"};
        return MountEntry{"/", "/", "ext4", "/dev/sda1"};
    }
    bool IsReady(const QString& mountPoint) const override { return mountPoint != NotReady; }
    QString Label(const QString&) const override { return Label_; }
};

// An association as the stores hold one; each test sets only what it looks at.
inline clsBackup Association(const QString& source, bool folder = true, bool enabled = true)
{
    clsBackup b;
    b.SourcePath = source;
    b.Folder = folder;
    b.Enabled = enabled;
    b.Versions = 1;
    b.DateCreated = QStringLiteral("05/12/2026 10:00:00");
    b.DateLastModified = b.DateLastActivity = QStringLiteral("Never");
    return b;
}

class ScriptedPrompts : public Prompts
{
  public:
    QList<QMessageBox::StandardButton> Answers; // taken in order; Yes when none is left
    QStringList Shown;                          // messages only
    QString Chooser;                            // "title | filter" of the last file chooser
    QStringList Files;
    QString Folder;
    int Beeps = 0;
    QMessageBox::StandardButton Message(QWidget*, Icon, const QString& text,
                                        QMessageBox::StandardButtons) override
    {
        Shown << text;
        return Answers.isEmpty() ? QMessageBox::Yes : Answers.takeFirst();
    }
    QStringList OpenFiles(QWidget*, const QString& title, const QString& filter) override
    {
        Chooser = title + " | " + filter;
        return Files;
    }
    QString BrowseFolder(QWidget*, const QString&) override { return Folder; }
    void Beep() override { ++Beeps; }
};

// Presses this button of the next modal message box; "title|text" of the box goes to *seen.
inline void AnswerNextBox(QMessageBox::StandardButton button, QString* seen)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            *seen = box->windowTitle() + "|" + box->text();
            box->button(button)->click();
        }
    });
    timer->start(20);
    // A box that never comes must not leave the timer to answer a later test's box.
    QTimer::singleShot(10000, timer, &QObject::deleteLater);
}

inline QList<QMessageBox*> OpenMessageBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            boxes << box;
    return boxes;
}

// One data row on one line: Row("tag", a, b) adds QTest::newRow("tag") << a << b.
template <typename... Values> void Row(const char* tag, const Values&... values)
{
    (QTest::newRow(tag) << ... << values);
}

// Makes root/relative by its bytes, which need not be UTF-8 (a folder when it ends in "/"); its path.
inline QString MakeByBytes(const QString& root, const QByteArray& relative)
{
    QByteArray path = FileNames::Encode(root);
    const QList<QByteArray> parts = relative.split('/');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += '/' + parts[i];
        if (!LocalFiles::MakeFolder(FileNames::Decode(path)))
            return {};
    }
    if (!parts.last().isEmpty()) {
        path += '/' + parts.last();
        WriteRawFile(path, "x");
    }
    return FileNames::Decode(path);
}
