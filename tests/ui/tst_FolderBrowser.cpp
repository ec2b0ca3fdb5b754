#include "support/TestEnvironment.h"
#include "support/UiFakes.h"
#include "ui/dialogs/FolderBrowser.h"

#include <QApplication>
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
    void chosenFolderOrEmptyTextAndTheCurrentFolderKept_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("title");
        Row("cancel", false, "Please select a folder to be backed up.");
        Row("choose", true, "Please select a destination folder.");
    }
    void chosenFolderOrEmptyTextAndTheCurrentFolderKept()
    {
        QFETCH(bool, accept);
        QFETCH(QString, title);
        QTemporaryDir root, elsewhere;
        const QString target = QDir(root.path()).canonicalPath() + "/My Folder";
        QVERIFY(QDir().mkpath(target));
        const QString before = QDir::currentPath();
        QString seen;
        whenPickerOpens(
            [&](QFileDialog* picker) {
                QDir::setCurrent(elsewhere.path()); // a picker that wanders off
                picker->setDirectory(target);       // the folder being looked at is the choice
                if (accept)
                    QMetaObject::invokeMethod(picker, "accept");
                else
                    picker->reject();
            },
            &seen);
        const QString chosen =
            accept ? BrowseForFolder(nullptr, title, root.path()) : BrowseForFolder(nullptr, title);
        QCOMPARE(seen, title);
        QCOMPARE(chosen, accept ? target : QString());
        QCOMPARE(QDir::currentPath(), before);
    }

  private:
    TestEnvironment m_env;
};

QTEST_MAIN(tst_FolderBrowser)
#include "tst_FolderBrowser.moc"
