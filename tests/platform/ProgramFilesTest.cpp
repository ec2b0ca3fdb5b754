#include "platform/ProgramFiles.h"

#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

// Installed under any prefix, in the build folder or in the XDG data folders; a missing file is no guess.
TEST(ProgramFiles, FoundInstalledInBuildFolderAndInDataFolders)
{
    TestEnvironment env;
    const QByteArray oldDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", (env.root() + "/system").toLocal8Bit());
    const QString installed = env.root() + "/opt/x/share/savenook/Manual.html";
    const QString built = env.root() + "/build/share/savenook/Manual.html";
    const QString system = env.root() + "/system/savenook/Icon.svg";
    WriteFile(installed, "i");
    WriteFile(built, "b");
    WriteFile(system, "s");

    EXPECT_EQ(ProgramFiles::Locate("Manual.html", env.root() + "/opt/x/bin"), installed);
    EXPECT_EQ(ProgramFiles::Locate("Manual.html", env.root() + "/build"), built);
    EXPECT_EQ(ProgramFiles::Locate("Icon.svg", env.root() + "/build"), system);
    EXPECT_EQ(ProgramFiles::Locate("Missing.html", env.root() + "/build"), QString());
    // A folder of the same name is not the file.
    QDir().mkpath(env.root() + "/build/share/savenook/Folder.html");
    EXPECT_EQ(ProgramFiles::Locate("Folder.html", env.root() + "/build"), QString());
    qputenv("XDG_DATA_DIRS", oldDirs);
}

// A login entry never starts a stray "savenook" on the PATH that is not an installed tree.
TEST(ProgramFiles, LoginEntryPrefersTheInstalledProgram)
{
    TestEnvironment env;
    const QString installed = env.root() + "/usr/bin/savenook";
    const QString stray = env.root() + "/tools/savenook";
    WriteFile(installed, "#!/bin/sh\n");
    WriteFile(stray, "#!/bin/sh\n");
    WriteFile(env.root() + "/usr/share/savenook/Manual.html", "m");
    for (const QString& file : {installed, stray})
        QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::ExeOwner);

    const QString running = env.root() + "/build/savenook";
    EXPECT_EQ(ProgramFiles::Executable(running, env.root() + "/tools:" + env.root() + "/usr/bin"), running);
    EXPECT_EQ(ProgramFiles::Executable(running, env.root() + "/usr/bin:" + env.root() + "/tools"), installed);
    EXPECT_EQ(ProgramFiles::Executable(running, QString()), running);
}
