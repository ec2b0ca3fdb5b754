#include "support/TestEnvironment.h"

#include <QDir>

TestEnvironment::TestEnvironment()
{
    QDir().mkpath(home());
    QDir().mkpath(configHome());
    // The data home is left for the program to create: a fresh account may lack it.
    for (const auto& [name, value] :
         {std::pair{"XDG_DATA_HOME", dataHome()}, {"XDG_CONFIG_HOME", configHome()}, {"HOME", home()}}) {
        m_saved.emplace_back(name,
                             qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        qputenv(name, value.toUtf8());
    }
}

TestEnvironment::~TestEnvironment()
{
    for (const auto& [name, old] : m_saved)
        old ? qputenv(name, *old) : qunsetenv(name);
}
