#pragma once

#include <QString>

// The program's own read-only files (the manual, icons). Found relative to the
// executable, so the same binary works installed under any prefix and from its
// build folder, with no path written into it.
class ProgramFiles
{
  public:
    // The full path of name, or empty when it is nowhere to be found. Looks in
    // <prefix>/share/savenook beside an installed <prefix>/bin, then in the build
    // folder's share/savenook, then in the XDG data folders.
    static QString Locate(const QString& name);
    static QString Locate(const QString& name, const QString& executableFolder);

    // The program a login entry should start: the installed savenook found on the
    // PATH when there is one (a build folder may be gone by the next login),
    // otherwise the running executable.
    static QString Executable();
    static QString Executable(const QString& runningExecutable, const QString& pathVariable);
};
