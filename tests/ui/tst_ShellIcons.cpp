#include "ui/dialogs/ShellIcons.h"

#include <QLabel>
#include <QtTest>

class tst_ShellIcons : public QObject
{
    Q_OBJECT
  private Q_SLOTS:
    void iconToPictureIsAlways16x16_data()
    {
        QTest::addColumn<int>("side");
        QTest::newRow("small icon padded") << 8;
        QTest::newRow("large icon scaled") << 48;
    }
    void iconToPictureIsAlways16x16()
    {
        QFETCH(int, side);
        QPixmap source(side, side);
        source.fill(Qt::red);
        const QPixmap picture = IconToPicture(QIcon(source));
        QCOMPARE(picture.deviceIndependentSize(), QSizeF(16, 16));
        // the icon is drawn in the middle, whatever its own size
        QCOMPARE(picture.toImage().pixelColor(picture.width() / 2, picture.height() / 2), QColor(Qt::red));
    }

    void setSmallFileIconFillsTheLabel_data()
    {
        QTest::addColumn<QString>("path");
        QFile(m_dir.filePath("a.txt")).open(QIODevice::WriteOnly);
        QTest::newRow("file") << m_dir.filePath("a.txt");
        QTest::newRow("folder") << m_dir.path();
        // a source that is gone still gets the generic file icon in the tree
        QTest::newRow("missing") << m_dir.filePath("missing.bin");
    }
    void setSmallFileIconFillsTheLabel()
    {
        QFETCH(QString, path);
        QLabel label;
        QVERIFY(SetSmallFileIcon(&label, path));
        QCOMPARE(label.pixmap().deviceIndependentSize(), QSizeF(16, 16));
    }

    void nullIconGivesNoPicture() { QVERIFY(IconToPicture(QIcon()).isNull()); }
    void nullLabelIsRefused() { QVERIFY(!SetSmallFileIcon(nullptr, m_dir.path())); }

  private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_ShellIcons)
#include "tst_ShellIcons.moc"
