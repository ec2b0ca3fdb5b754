#pragma once

#include "platform/FileCopier.h"
#include "platform/LinuxFileSystem.h"

#include <QString>
#include <sys/types.h>
#include <vector>

// Copies one file durably and atomically. The data goes into a hidden temporary
// file beside the target (".savenook-....tmp"), which gets the source's permission
// bits and exact modification time and is flushed to disk as it is written, a
// chunk at a time, so neither a chunk nor the final flush holds the caller for
// long. Commit renames it over the target and flushes the folder too, so the
// rename survives a crash. Any failure removes the temporary file and leaves the
// old target untouched.
//
// An existing target without the owner's write bit fails with AccessDenied even
// for root: the engine relies on a read-only copy refusing to be replaced.
// A source whose size, modification time or identity moved during the copy gives
// SourceChanged (the copy would mix two versions).
class LinuxFileCopier : public FileCopier
{
  public:
    // Small enough that writing one chunk out takes a fraction of a second even
    // on a slow stick, large enough that the calls cost nothing against the data.
    static constexpr qint64 DefaultChunkBytes = 8 * 1024 * 1024;
    static constexpr char TemporaryPrefix[] = ".savenook-";
    static constexpr char TemporarySuffix[] = ".tmp";

    explicit LinuxFileCopier(qint64 chunkBytes = DefaultChunkBytes);
    // Writes through files (a test's faults) instead of straight to the disk.
    explicit LinuxFileCopier(FileSystem& files, qint64 chunkBytes = DefaultChunkBytes);
    LinuxFileCopier(const LinuxFileCopier&) = delete;
    LinuxFileCopier& operator=(const LinuxFileCopier&) = delete;

    FileResult Stage(const QString& source, const QString& target, const std::function<bool()>& keepGoing,
                     QString& staged) override;
    FileResult Commit(const QString& staged, const QString& target,
                      const std::function<bool()>& keepGoing = {}) override;
    void Discard(const QString& staged) override;
    // Our temporary names not in use by any copier of this process are removed.
    void RemoveLeftovers(const QString& folder) override;
    FileSystem& Files() override { return m_files; }

    // A name this copier gives its temporary files (left behind only by a crash).
    static bool IsTemporaryName(const QString& fileName);

  private:
    // Between file systems copy_file_range may refuse (EXDEV): sendfile still copies
    // inside the kernel; read/write is the last resort.
    ssize_t SendRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length);
    ssize_t ReadWriteRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t length);

    LinuxFileSystem m_ownFiles;
    FileSystem& m_files;
    qint64 m_chunkBytes;
    std::vector<char> m_buffer; // only for the read/write fallback
};
