#include "SDaten.h"

#include "ConnectionString.h"
#include "StoreError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

TSData *SData = nullptr;

namespace {

QString &folderOverride()
{
    static QString folder;
    return folder;
}

const char *const kDatabasePassword = "kelpo";
const char *const kConnectionFormat = "Provider=%1;Data Source=%2;Persist Security Info=True;"
                                      "Jet OLEDB:Database Password=%3";

} // namespace

QString databasePassword()
{
    return QString::fromLatin1(kDatabasePassword);
}

QString connectionStringFor(const QString &file, const QString &password)
{
    return QString::fromLatin1(kConnectionFormat)
        .arg(QString::fromLatin1(store::kJetProvider), store::ConnectionString::quoteValue(file),
             store::ConnectionString::quoteValue(password));
}

QString programFolder()
{
    QString folder = folderOverride();
    if (folder.isEmpty()) {
        folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                              : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    }
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

void setProgramFolder(const QString &folder)
{
    folderOverride() = folder;
}

TSData::TSData(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("SData"));
    SecureDB.setObjectName(QStringLiteral("SecureDB"));
    Journal = journal::keepJournal(SecureDB, journal::actorHere(QString(), QStringLiteral("sicherheit")));
    SData = this;
    DataModuleCreate();
}

TSData::~TSData()
{
    SecureDB.disconnect();
    if (SData == this)
        SData = nullptr;
}

void TSData::DataModuleCreate()
{
    DBPath = programFolder() + QStringLiteral("system/user.mdb");
    DBPassword = databasePassword();
    try {
        Reconnect();
    } catch (const std::exception &e) {
        store::reportError(e);
    }
}

QString TSData::connectionString() const
{
    return connectionStringFor(DBPath, DBPassword);
}

void TSData::Reconnect()
{
    SecureDB.disconnect();
    SecureDB.setConnectionString(connectionString());
    SecureDB.connect();
}
