#pragma once

#include "Connection.h"
#include "JournalWriter.h"

#include <QObject>
#include <QString>

// The fixed password every security database file is keyed with.
QString databasePassword();

// The connection string that opens a security database file with the password. A value that needs it is
// quoted, so that a path holding ";" still names the file.
QString connectionStringFor(const QString &file, const QString &password = databasePassword());

// The program's one database session: the connection every record set and statement runs on, the path of
// the data file and the database password.
class TSData : public QObject
{
    Q_OBJECT
public:
    // Runs DataModuleCreate: the session starts connected to system/user.mdb beside the program, or, when
    // that fails, not connected with the error reported.
    explicit TSData(QObject *parent = nullptr);
    ~TSData() override;

    void DataModuleCreate();
    // Disconnects (closing every record set and dropping unsaved rows) and connects to DBPath. Throws the
    // store's error when the file cannot be opened; the session then stays not connected.
    void Reconnect();

    // The connection string for the current DBPath and DBPassword.
    QString connectionString() const;

    store::Connection SecureDB;
    // Records every change made through SecureDB, and the logons, in the open database's journal.
    std::shared_ptr<journal::Writer> Journal;
    QString DBPath;
    QString DBPassword;
};

// The single instance, created by the program entry before any window.
extern TSData *SData;

// The folder of the program file, ending in "/"; taken from the executable's own path, not the working
// folder. Tests may point it elsewhere.
QString programFolder();
void setProgramFolder(const QString &folder);
