#include "support/TestEnvironment.h"
#include "support/UiFakes.h"
#include "ui/dialogs/FolderBrowser.h"

#include <QApplication>
#include <QtTest>

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
        // The picker blocks the caller: it is answered from inside its own wait.
        QTimer::singleShot(0, [&] {
            auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!picker)
                return; // no picker: the timeout of the run fails the test
            seen = picker->windowTitle();
            QDir::setCurrent(elsewhere.path()); // a picker that wanders off
            picker->setDirectory(target);       // the folder being looked at is the choice
            if (accept)
                QMetaObject::invokeMethod(picker, "accept");
            else
                picker->reject();
        });
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
