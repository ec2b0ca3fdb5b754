// The desktop's own pieces: the folder picker, small file icons and the file properties sheet.
#include "core/DateText.h"
#include "support/TestEnvironment.h"
#include "support/UiFakes.h"
#include "ui/dialogs/FilePropertiesDialog.h"
#include "ui/dialogs/FolderBrowser.h"
#include "ui/dialogs/ShellIcons.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

class tst_ShellDialogs : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void chosenFolderOrEmptyTextAndTheCurrentFolderKept()
    {
        for (const bool accept : {false, true}) {
            const QString title =
                accept ? "Please select a destination folder." : "Please select a folder to be backed up.";
            QTemporaryDir root, elsewhere;
            const QString target = QDir(root.path()).canonicalPath() + "/My Folder";
            QVERIFY(QDir().mkpath(target));
            const QString before = QDir::currentPath();
            QString seen;
            // The picker blocks the caller: it is answered from inside its own wait.
            QTimer::singleShot(0, [&] {
                auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(picker); // else the run's timeout fails the test
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
    }

    void iconsComeAs16x16Pictures()
    {
        for (const int side : {8, 48}) { // padded, scaled
            QPixmap source(side, side);
            source.fill(Qt::red);
            const QPixmap picture = IconToPicture(QIcon(source));
            QCOMPARE(picture.deviceIndependentSize(), QSizeF(16, 16));
            QCOMPARE(picture.toImage().pixelColor(picture.width() / 2, picture.height() / 2),
                     QColor(Qt::red));
        }
        QVERIFY(IconToPicture(QIcon()).isNull());

        // A source that is gone still gets the generic file icon in the tree.
        for (const QString& path : {m_dir.path(), m_dir.filePath("missing.bin")}) {
            QLabel label;
            QVERIFY2(SetSmallFileIcon(&label, path), qPrintable(path));
            QCOMPARE(label.pixmap().deviceIndependentSize(), QSizeF(16, 16));
        }
        QVERIFY(!SetSmallFileIcon(nullptr, m_dir.path()));
    }

    void showsTheFieldsOfAFileWithoutHoldingTheProgram()
    {
        const QString path = m_dir.filePath("report 2024.txt");
        WriteFile(path, QByteArray(1500, 'x'));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));

        QWidget parent;
        QVERIFY(ShowFileProperties(path, &parent));
        QPointer<FilePropertiesDialog> sheet = parent.findChild<FilePropertiesDialog*>();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(field(sheet, "lblLocation"), QFileInfo(path).absolutePath());
        QVERIFY(field(sheet, "lblType").contains(QMimeDatabase().mimeTypeForFile(path).comment()));
        QVERIFY(field(sheet, "lblSize").contains(QLocale().toString(1500) + " bytes"));
        QCOMPARE(field(sheet, "lblModified"), DateText::Format(QFileInfo(path).lastModified()));
        QCOMPARE(field(sheet, "lblPermissions"), QStringLiteral("rw-r-----"));
        // QFileDevice's bits: 0x7000 owner, 0x0700 current user, 0x0070 group, 0x0007 others.
        QCOMPARE(FilePropertiesDialog::PermissionText(QFileDevice::Permissions(0x7057)), "rwxr-xrwx");
        QCOMPARE(FilePropertiesDialog::PermissionText(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 "---------");
        // Non-modal, and gone once closed.
        QVERIFY(!sheet->isModal() && QApplication::activeModalWidget() == nullptr);
        sheet->close();
        QTRY_VERIFY(sheet.isNull());
    }

    void describesFoldersAndLinks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("size");
        QDir(m_dir.path()).mkpath("folder/a");
        QFile(m_dir.filePath("folder/b.txt")).open(QIODevice::WriteOnly);
        QFile::link(m_dir.filePath("folder"), m_dir.filePath("link to folder"));
        QFile::link(m_dir.filePath("gone"), m_dir.filePath("dangling"));

        Row("folder", "folder", "Folder", "2 item(s)");
        Row("link", "link to folder", "Link to " + m_dir.filePath("folder"), "2 item(s)");
        // a link whose target is gone is still there to describe
        Row("dangling link", "dangling", "Link to " + m_dir.filePath("gone"), "");
        // no type: nothing to describe, and no sheet
        Row("missing", "was never here.txt", "", "");
    }

    void describesFoldersAndLinks()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QString, size);
        QWidget parent;
        QCOMPARE(ShowFileProperties(m_dir.filePath(name), &parent), !type.isEmpty());
        auto* sheet = parent.findChild<FilePropertiesDialog*>();
        QCOMPARE(sheet != nullptr, !type.isEmpty());
        if (!sheet)
            return;
        QCOMPARE(field(sheet, "lblName"), name);
        QCOMPARE(field(sheet, "lblType"), type);
        QCOMPARE(field(sheet, "lblSize"), size);
    }

  private:
    static QString field(QWidget* sheet, const char* name)
    {
        auto* label = sheet->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
    }

    TestEnvironment m_env;
    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_ShellDialogs)
#include "tst_ShellDialogs.moc"
