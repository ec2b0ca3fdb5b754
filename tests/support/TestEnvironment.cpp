#include "support/TestEnvironment.h"

#include <QDir>
#include <cstdlib>

namespace {
void swapVar(const char* name, const QString& value, QByteArray& old, bool& had)
{
    had = qEnvironmentVariableIsSet(name);
    old = qgetenv(name);
    qputenv(name, value.toUtf8());
}
void restoreVar(const char* name, const QByteArray& old, bool had)
{
    if (had)
        qputenv(name, old);
    else
        qunsetenv(name);
}
} // namespace

TestEnvironment::TestEnvironment()
{
    QDir().mkpath(home());
    QDir().mkpath(configHome());
    // The data home is left for the program to create: a fresh account may lack it.
    swapVar("XDG_DATA_HOME", dataHome(), m_oldData, m_hadData);
    swapVar("XDG_CONFIG_HOME", configHome(), m_oldConfig, m_hadConfig);
    swapVar("HOME", home(), m_oldHome, m_hadHome);
}

TestEnvironment::~TestEnvironment()
{
    restoreVar("XDG_DATA_HOME", m_oldData, m_hadData);
    restoreVar("XDG_CONFIG_HOME", m_oldConfig, m_hadConfig);
    restoreVar("HOME", m_oldHome, m_hadHome);
}
