#include "core/Main.h"
#include "platform/DisplayPlatform.h"
#include "platform/ProgramFiles.h"
#include "ui/main/SavenookApp.h"

#include <QApplication>
#include <QIcon>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    Main program(arguments);
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const std::optional<int> code = program.BeforeApplication(out, err))
            return *code;
    }
    DisplayPlatform::PreferXWayland();
    QApplication app(argc, argv);
    // Ties the windows to the installed desktop entry (task bars, Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.savenook.Savenook"));
    // The theme's icon once installed; from the build folder, the same drawing.
    QApplication::setWindowIcon(QIcon::fromTheme(
        QStringLiteral("savenook"),
        QIcon(ProgramFiles::Locate(QStringLiteral("../icons/hicolor/scalable/apps/savenook.svg")))));
    SavenookApp root(program.State());
    return program.Exec(root);
}
