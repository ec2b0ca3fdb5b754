#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <vector>

// Points XDG_DATA_HOME, XDG_CONFIG_HOME and HOME at a private temporary folder while it lives.
class TestEnvironment
{
  public:
    TestEnvironment()
    {
        QDir().mkpath(home());
        QDir().mkpath(configHome());
        // The data home is left for the program to create: a fresh account may lack it.
        for (const auto& [name, value] :
             {std::pair{"XDG_DATA_HOME", dataHome()}, {"XDG_CONFIG_HOME", configHome()}, {"HOME", home()}}) {
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                       : std::nullopt);
            qputenv(name, value.toUtf8());
        }
    }
    ~TestEnvironment()
    {
        for (const auto& [name, old] : m_saved)
            old ? qputenv(name, *old) : qunsetenv(name);
    }
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return m_dir.path(); }
    QString dataHome() const { return m_dir.path() + "/data"; }
    QString configHome() const { return m_dir.path() + "/config"; }
    QString home() const { return m_dir.path() + "/home"; }
    QString dataFolder() const { return dataHome() + "/Savenook"; }

  private:
    QTemporaryDir m_dir;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> m_saved; // nullopt: was unset
};
