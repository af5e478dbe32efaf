// What the user is told when the file system lets the store down: the file deleted or replaced while it is
// open, a folder that cannot be written or does not exist, a full disk, a file that may not be read. Every
// message is German and names the file or folder; SQLite's own words may only follow in brackets.

#include "SqliteBackend.h"
#include "Suites.h"
#include "TestSupport.h"

#include "Sqlite.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// The permission checks of an ordinary account, also for a test run as root: while it lives, this thread
// cannot override file permissions.
class OrdinaryPermissions
{
public:
    OrdinaryPermissions()
    {
        if (::geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[0].effective &= ~(1u << cap);
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~OrdinaryPermissions()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    OrdinaryPermissions(const OrdinaryPermissions &) = delete;
    OrdinaryPermissions &operator=(const OrdinaryPermissions &) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

// A small file system mounted on a folder while it lives, when this run may mount one.
struct SmallDisk
{
    explicit SmallDisk(const QString &folder)
        : path(QFile::encodeName(folder)),
          mounted(::mount("tmpfs", path.constData(), "tmpfs", 0, "size=256k") == 0)
    {}
    ~SmallDisk()
    {
        if (mounted)
            ::umount(path.constData());
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    // Takes every free block of the small disk; never writes more than it can hold.
    void fill() const
    {
        QFile f(QString::fromLocal8Bit(path) + QStringLiteral("/filler"));
        if (!mounted || !f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(1024, 'x');
        for (int i = 0; i < 512 && f.write(block) == block.size(); ++i) {
        }
    }
    void empty() const { QFile::remove(QString::fromLocal8Bit(path) + QStringLiteral("/filler")); }

    const QByteArray path;
    const bool mounted;
};

// Whether the message names `name` in German quotes and has no English outside the quotes and brackets.
// Another program's connection that has switched the file to WAL mode and read from it; null on failure.
sqlite3 *openInWalMode(const QString &file)
{
    sqlite3 *raw = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &raw);
    const QByteArray key = databasePassword().toUtf8();
    sqlite3_key(raw, key.constData(), static_cast<int>(key.size()));
    if (sqlite3_exec(raw, "PRAGMA journal_mode=WAL; SELECT count(*) FROM Benutzer", nullptr, nullptr,
                     nullptr) == SQLITE_OK)
        return raw;
    sqlite3_close(raw);
    return nullptr;
}

bool namesInGerman(const QString &message, const QString &name)
{
    QString own = message;
    own.remove(QRegularExpression(QStringLiteral("\u201E[^\u201C]*\u201C")));
    own.remove(QRegularExpression(QStringLiteral("\\([^)]*\\)")));
    static const QRegularExpression english(
        QStringLiteral("\\b(unable|database|disk|such|denied|permission|error|file|full|open|directory|"
                       "readonly|attempt|write)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return message.contains(store::quoted(name)) && !own.contains(english);
}

// The text of the StoreError that `expr` raises; empty when it raises none.
template <typename F> QString errorOf(F &&expr)
{
    try {
        expr();
    } catch (const store::StoreError &e) {
        return e.message();
    }
    return QString();
}

const QString kMoved = QStringLiteral("gelöscht, verschoben oder durch eine andere Datei ersetzt");

void addUser(store::RecordSet &users, const QString &name)
{
    users.insertRecord({QVariant(), name});
}

QString firstUser(Db &db)
{
    return db.scalar(QStringLiteral("select User from Benutzer")).toString();
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void init() { FILE_ONLY(); }

    void aFileDeletedWhileOpenIsNeitherReadNorWritten()
    {
        Db db;
        auto users = db.users();
        users->open();
        addUser(*users, QStringLiteral("alt"));
        QVERIFY(QFile::remove(db.file));

        users->insert();
        users->field(QStringLiteral("User")).setAsString(QStringLiteral("neu"));
        const QString posted = errorOf([&] { users->post(); });
        QVERIFY2(posted.contains(kMoved), qPrintable(posted));
        QVERIFY2(namesInGerman(posted, db.file), qPrintable(posted));
        QCOMPARE(users->state(), store::DataState::Insert);

        EXPECT_STORE_ERROR_CONTAINING(db.scalar(QStringLiteral("select count(*) from Benutzer")), kMoved);
        EXPECT_STORE_ERROR_CONTAINING(db.conn.execute(QStringLiteral("delete from Benutzer")), kMoved);
        QVERIFY(!QFile::exists(db.file));

        // A new file at the place is read only once it is opened anew.
        createEmpty(db.file);
        EXPECT_STORE_ERROR_CONTAINING(firstUser(db), kMoved);
        db.conn.disconnect();
        db.conn.connect();
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer")).toInt(), 0);
    }

    void aFileReplacedWhileOpenIsNotReadFromTheOldOne()
    {
        Db db;
        auto users = db.users();
        users->open();
        addUser(*users, QStringLiteral("alt"));
        const QString other = db.dir.filePath(QStringLiteral("other.mdb"));
        createEmpty(other);
        {
            store::Connection conn;
            conn.setConnectionString(connectionString(other));
            conn.execute(QStringLiteral("insert into Benutzer (User) values (\"neu\")"));
        }
        QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(db.file).constData()) == 0);
        const QByteArray replaced = fileHash(db.file);
        // Reads look at the file again once a moment has passed since they last did.
        QTest::qWait(100);

        const QString read = errorOf([&] { firstUser(db); });
        QVERIFY2(read.contains(kMoved), qPrintable(read));
        QVERIFY2(namesInGerman(read, db.file), qPrintable(read));
        // A set that cannot be read again keeps what it showed.
        EXPECT_STORE_ERROR_CONTAINING(users->refresh(), kMoved);
        QCOMPARE(users->recordCount(), 1);
        QCOMPARE(users->field(QStringLiteral("User")).asString(), QStringLiteral("alt"));
        users->edit();
        users->field(QStringLiteral("User")).setAsString(QStringLiteral("geändert"));
        EXPECT_STORE_ERROR_CONTAINING(users->post(), kMoved);
        EXPECT_STORE_ERROR_CONTAINING(
            db.conn.execute(QStringLiteral("update Benutzer set User=\"x\" where User=\"alt\"")), kMoved);
        QCOMPARE(fileHash(db.file), replaced);

        db.conn.disconnect();
        db.conn.connect();
        QCOMPARE(firstUser(db), QStringLiteral("neu"));
    }

    void aSetThatCannotBeReadAgainKeepsWhatItShowed()
    {
        Db db;
        auto users = db.users();
        users->open();
        addUser(*users, QStringLiteral("alt"));
        QCOMPARE(sqlite3_exec(store::sqliteHandle(db.conn), "ALTER TABLE Benutzer RENAME TO Weg", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        EXPECT_STORE_ERROR_CONTAINING(users->refresh(), QStringLiteral("Benutzer"));
        QCOMPARE(users->recordCount(), 1);
        QCOMPARE(users->field(QStringLiteral("User")).asString(), QStringLiteral("alt"));
    }

    void aFolderThatCannotBeWrittenIsNamed()
    {
        Db db;
        auto users = db.users();
        users->open();
        const QString folder = db.dir.path();
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        QString posted, created;
        {
            OrdinaryPermissions ordinary;
            users->insert();
            users->field(QStringLiteral("User")).setAsString(QStringLiteral("neu"));
            posted = errorOf([&] { users->post(); });
            created = errorOf([&] { createEmpty(db.dir.filePath(QStringLiteral("neu.mdb"))); });
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY2(namesInGerman(posted, folder), qPrintable(posted));
        QVERIFY2(posted.contains(QStringLiteral("nicht gespeichert")), qPrintable(posted));
        QVERIFY2(namesInGerman(created, folder), qPrintable(created));
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer")).toInt(), 0);
        users->post();
        QCOMPARE(firstUser(db), QStringLiteral("neu"));
    }

    // Another program that keeps the file open in WAL mode keeps it there: that is its lock, and is told so.
    void aFileHeldInWalModeIsToldAsLocked()
    {
        Db db;
        db.conn.disconnect();
        sqlite3 *raw = openInWalMode(db.file);
        QVERIFY(raw);
        const QString refused = errorOf([&] { db.conn.connect(); });
        sqlite3_close(raw);
        QVERIFY2(refused.contains(QStringLiteral("von einem anderen Programm gesperrt")),
                 qPrintable(refused));
        db.conn.connect();
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from Benutzer")).toInt(), 0);
    }

    // A file in WAL mode needs files beside it: in a folder that refuses them, the folder is the cause.
    void aWalFileInAClosedFolderNamesTheFolder()
    {
        Db db;
        db.conn.disconnect();
        sqlite3 *raw = openInWalMode(db.file);
        QVERIFY(raw);
        sqlite3_close(raw);
        const QString folder = db.dir.path();
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        QString refused;
        {
            OrdinaryPermissions ordinary;
            refused = errorOf([&] { db.conn.connect(); });
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY2(namesInGerman(refused, folder) && refused.contains(QStringLiteral("kann nicht geschrieben")),
                 qPrintable(refused));
    }

    void aMissingFolderIsNamed()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("fehlt"));
        const QString file = folder + QStringLiteral("/user.mdb");
        const QString created = errorOf([&] { createEmpty(file); });
        QVERIFY2(namesInGerman(created, folder), qPrintable(created));
        QVERIFY(!QFile::exists(folder));
        store::Connection conn;
        conn.setConnectionString(connectionString(file));
        const QString connected = errorOf([&] { conn.connect(); });
        QVERIFY2(namesInGerman(connected, folder), qPrintable(connected));
        QVERIFY2(connected.contains(QStringLiteral("nicht gefunden")), qPrintable(connected));
    }

    void aFullDiskIsNamedAndLosesNothing()
    {
        // A small file system of its own when this run may mount one; otherwise the file is held to its
        // size, which SQLite reports as the same full disk.
        QTemporaryDir dir;
        const SmallDisk disk(dir.path());
        const QString file = dir.filePath(QStringLiteral("user.mdb"));
        createEmpty(file);
        store::Connection conn;
        conn.setConnectionString(connectionString(file));
        conn.connect();
        if (!disk.mounted)
            sqlite3_exec(store::sqliteHandle(conn), "PRAGMA max_page_count=12", nullptr, nullptr, nullptr);
        store::RecordSet users(QStringLiteral("UserList"));
        users.setConnection(&conn);
        users.setTableName(schema::kBenutzer);
        users.open();
        disk.fill();
        QString full;
        for (int i = 0; i < 2000 && full.isEmpty(); ++i)
            full = errorOf([&] {
                users.insert();
                users.field(QStringLiteral("User")).setAsString(QString(20, QChar(u'a' + i % 26)));
                users.post();
            });
        QVERIFY2(full.contains(QStringLiteral("Kein Platz")), qPrintable(full));
        QVERIFY2(namesInGerman(full, file), qPrintable(full));
        QCOMPARE(users.state(), store::DataState::Insert);
        const int stored = users.recordCount(); // without the row not stored

        if (disk.mounted)
            disk.empty();
        else
            sqlite3_exec(store::sqliteHandle(conn), "PRAGMA max_page_count=100000", nullptr, nullptr,
                         nullptr);
        users.post();
        users.close();
        users.open();
        QCOMPARE(users.recordCount(), stored + 1);
        conn.disconnect();

        if (disk.mounted) {
            // Making a file on a full disk leaves nothing behind.
            disk.fill();
            const QString second = dir.filePath(QStringLiteral("zweite.mdb"));
            const QString created = errorOf([&] { createEmpty(second); });
            QVERIFY2(namesInGerman(created, second), qPrintable(created));
            QVERIFY2(created.contains(QStringLiteral("kein Platz"), Qt::CaseInsensitive),
                     qPrintable(created));
            QVERIFY(!QFile::exists(second));
        }
    }

    void aFileWithoutReadPermissionIsNamed()
    {
        Db db;
        db.conn.disconnect();
        QVERIFY(QFile::setPermissions(db.file, QFile::WriteOwner));
        QString message;
        {
            OrdinaryPermissions ordinary;
            message = errorOf([&] { db.conn.connect(); });
        }
        QVERIFY(QFile::setPermissions(db.file, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY2(namesInGerman(message, db.file), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("keine Berechtigung")), qPrintable(message));
        QVERIFY(!db.conn.isConnected());
    }
};

int runFileTests(int argc, char **argv)
{
    TestFiles t;
    return QTest::qExec(&t, testsupport::suiteArguments(argc, argv));
}

#include "tst_files.moc"
