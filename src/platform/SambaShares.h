#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// One folder this computer shares.
struct SambaShare
{
    QString Name;
    QString Path; // the local folder, cleaned (no trailing "/" except for "/")
};

// This computer's Samba shares, read only: the sections of the Samba
// configuration (with its included files) and the user shares folder.
// No Samba on the machine means no files, which means no shares.
class SambaShares
{
  public:
    explicit SambaShares(QString configFile = QStringLiteral("/etc/samba/smb.conf"),
                         QString userSharesFolder = QStringLiteral("/var/lib/samba/usershares"))
        : m_configFile(std::move(configFile)), m_userSharesFolder(std::move(userSharesFolder))
    {
    }

    struct ReadResult
    {
        std::vector<SambaShare> Shares; // configuration order, then user shares by name
        QStringList Problems;           // files that exist but could not be read, include loops
    };
    ReadResult Read() const;

    // The folder of one share definition ("path = /srv/data" of a configuration
    // section, or "path=/srv/data" of a user share file); empty when it names none.
    static QString GetSharePathFromValue(const QString& definition);

  private:
    QString m_configFile;
    QString m_userSharesFolder;
};
