#include "platform/AutostartEntry.h"

#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <gtest/gtest.h>

TEST(AutostartEntry, ExecLinesQuoteAndEscapeAndReadBack)
{
    for (const char* program : {"/usr/bin/savenook", "/opt/my apps/save\"nook", "/p/50%/a$b\\c`d"}) {
        const QString entry = QStringLiteral("[Desktop Entry]\nExec=%1\n")
                                  .arg(AutostartEntry::ExecLine(QString::fromUtf8(program)));
        EXPECT_EQ(AutostartEntry::ExecProgram(entry), QString::fromUtf8(program)) << entry.toStdString();
        EXPECT_TRUE(entry.contains(QLatin1String(" nowin\n")));
    }
    EXPECT_EQ(AutostartEntry::ExecProgram("[Other]\nExec=x\n[Desktop Entry]\nName=a\nExec=savenook --x\n"),
              QStringLiteral("savenook"));
}

TEST(AutostartEntry, CreatedRecognisedRemovedAndOthersLeftAlone)
{
    TestEnvironment env;
    const QString program = env.root() + "/bin/savenook";
    WriteFile(program, "#!/bin/sh\n");
    const QString folder = env.configHome() + "/autostart";
    ASSERT_EQ(AutostartEntry::Folder(), folder);

    // Another program's entry under our name stays as it is; ours gets a free name.
    const QByteArray foreign = "[Desktop Entry]\nType=Application\nExec=/usr/bin/other nowin\n";
    WriteFile(folder + "/Savenook.desktop", foreign);
    ASSERT_TRUE(AutostartEntry::Apply(true, program));
    EXPECT_EQ(ReadFile(folder + "/Savenook.desktop"), foreign);
    EXPECT_EQ(AutostartEntry::EntriesStarting(program), QStringList{folder + "/Savenook-2.desktop"});
    EXPECT_TRUE(AutostartEntry::IsPresent(program));

    ASSERT_TRUE(AutostartEntry::Apply(true, program));
    EXPECT_EQ(AutostartEntry::EntriesStarting(program).size(), 1);

    ASSERT_TRUE(AutostartEntry::Apply(false, program));
    EXPECT_FALSE(AutostartEntry::IsPresent(program));
    EXPECT_EQ(ReadFile(folder + "/Savenook.desktop"), foreign);

    // A hidden entry starts nothing.
    WriteFile(folder + "/Savenook.desktop",
              "[Desktop Entry]\nExec=\"" + program.toUtf8() + "\" nowin\nHidden=true\n");
    EXPECT_FALSE(AutostartEntry::IsPresent(program));
}
