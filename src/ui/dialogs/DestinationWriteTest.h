#pragma once

#include <QString>

// Before a folder becomes a destination, a small file is written into it and
// removed again, to learn whether this machine may save there.
class DestinationWriteTest
{
  public:
    static inline const QString FileName = QStringLiteral("Savenooktestfile1234567890.txt");

    struct Outcome
    {
        bool Written = false;    // the file was created and written whole
        bool LeftBehind = false; // it is still there: removing it failed
        QString TestFile;        // where it was written
    };

    virtual ~DestinationWriteTest() = default;
    // Whatever fails, the file is removed if it came to exist; only a failed
    // removal leaves it, and LeftBehind says so.
    Outcome Run(const QString& folder) const;

  protected:
    virtual QString TestFilePath(const QString& folder) const;
    virtual bool RemoveFile(const QString& path) const;
};
