#include "support/TestEnvironment.h"
#include "ui/dialogs/FolderBrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

// Runs act on the folder picker once it is open (the picker blocks the caller).
static void whenPickerOpens(std::function<void(QFileDialog*)> act, QString* seenTitle)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!picker && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (picker) {
            *seenTitle = picker->windowTitle();
            act(picker);
        }
    });
    timer->start(20);
}

class tst_FolderBrowser : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void cancelGivesEmptyTextAndRestoresTheCurrentFolder();
    void chosenFolderIsReturned();

  private:
    TestEnvironment m_env;
};

void tst_FolderBrowser::cancelGivesEmptyTextAndRestoresTheCurrentFolder()
{
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QString title;
    whenPickerOpens(
        [&](QFileDialog* picker) {
            QDir::setCurrent(elsewhere.path()); // a picker that wanders off
            picker->reject();
        },
        &title);
    const QString chosen =
        BrowseForFolder(nullptr, QStringLiteral("Please select a folder to be backed up."));
    QCOMPARE(title, QStringLiteral("Please select a folder to be backed up."));
    QVERIFY(chosen.isEmpty());
    QCOMPARE(QDir::currentPath(), before);
}

void tst_FolderBrowser::chosenFolderIsReturned()
{
    QTemporaryDir root;
    const QString target = QDir(root.path()).canonicalPath() + "/My Folder";
    QVERIFY(QDir().mkpath(target));
    QString title;
    whenPickerOpens(
        [&](QFileDialog* picker) {
            picker->setDirectory(target); // the folder being looked at is the choice
            QMetaObject::invokeMethod(picker, "accept");
        },
        &title);
    const QString chosen =
        BrowseForFolder(nullptr, QStringLiteral("Please select a destination folder."), root.path());
    QCOMPARE(title, QStringLiteral("Please select a destination folder."));
    QCOMPARE(chosen, target);
}

QTEST_MAIN(tst_FolderBrowser)
#include "tst_FolderBrowser.moc"
