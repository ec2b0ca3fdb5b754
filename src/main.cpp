#include "core/Main.h"
#include "ui/main/SavenookApp.h"

#include <QApplication>
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
    QApplication app(argc, argv);
    SavenookApp root(program.State());
    return program.Exec(root);
}
