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
const char *const kConnectionFormat = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security "
                                      "Info=True;Jet OLEDB:Database Password=%2";

} // namespace

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
    SecureDB.setLoginPrompt(false);
    SecureDB.setProvider(QString::fromLatin1(store::kJetProvider));
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
    DBPassword = QString::fromLatin1(kDatabasePassword);
    try {
        Reconnect();
    } catch (const std::exception &e) {
        store::reportError(e);
    }
}

QString TSData::connectionString() const
{
    // Quoted when it needs it, so that a path holding ";" still names the file.
    return QString::fromLatin1(kConnectionFormat)
        .arg(store::ConnectionString::quoteValue(DBPath), store::ConnectionString::quoteValue(DBPassword));
}

void TSData::Reconnect()
{
    SecureDB.disconnect();
    SecureDB.setConnectionString(connectionString());
    SecureDB.connect();
}
