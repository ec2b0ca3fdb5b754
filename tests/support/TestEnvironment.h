#pragma once

#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <vector>

// Points XDG_DATA_HOME, XDG_CONFIG_HOME and HOME at a private temporary folder for
// the lifetime of the object, so no test ever touches the real user's files.
class TestEnvironment
{
  public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return m_dir.path(); }
    QString dataHome() const { return m_dir.path() + "/data"; }
    QString configHome() const { return m_dir.path() + "/config"; }
    QString home() const { return m_dir.path() + "/home"; }
    // The program's data folder inside the private data home.
    QString dataFolder() const { return dataHome() + "/Savenook"; }

  private:
    QTemporaryDir m_dir;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> m_saved; // nullopt: was unset
};
