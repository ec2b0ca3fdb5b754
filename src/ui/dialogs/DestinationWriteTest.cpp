#include "ui/dialogs/DestinationWriteTest.h"

#include "platform/FilePath.h"

#include <QFile>
#include <QFileInfo>

QString DestinationWriteTest::TestFilePath(const QString& folder) const
{
    return FilePath::Join(folder, FileName);
}

bool DestinationWriteTest::RemoveFile(const QString& path) const
{
    return QFile::remove(path);
}

DestinationWriteTest::Outcome DestinationWriteTest::Run(const QString& folder) const
{
    Outcome outcome;
    outcome.TestFile = TestFilePath(folder);
    // A file of that name is replaced; removing it first keeps the test from
    // writing through a symbolic link into some other file.
    const QFileInfo before(outcome.TestFile);
    if ((before.exists() || before.isSymLink()) && !before.isDir() && !RemoveFile(outcome.TestFile)) {
        outcome.LeftBehind = true;
        return outcome;
    }
    {
        QFile file(outcome.TestFile);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text)) {
            const QByteArray text = QByteArrayLiteral("Savenook write test\n");
            // A full disk shows only when the data reaches it, hence the flush.
            outcome.Written = file.write(text) == text.size() && file.flush();
            file.close();
            outcome.Written = outcome.Written && file.error() == QFileDevice::NoError;
        }
    }
    const QFileInfo left(outcome.TestFile);
    if ((left.exists() || left.isSymLink()) && !left.isDir())
        outcome.LeftBehind = !RemoveFile(outcome.TestFile);
    return outcome;
}
