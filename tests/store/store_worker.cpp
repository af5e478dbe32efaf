// Posts rows into a security database and acknowledges each one on stdout once the post has returned.
//   store_worker post FILE COUNT TAG

#include "Connection.h"
#include "RecordSet.h"
#include "Schema.h"
#include "SDaten.h"
#include "StoreError.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5 || args[1] != u"post")
        return 2;
    try {
        store::Connection db;
        db.setConnectionString(connectionStringFor(args[2]));
        db.connect();
        store::RecordSet rows(QStringLiteral("Funktionen"));
        rows.setConnection(&db);
        rows.setTableName(schema::kFunktionen);
        rows.setFieldDefs(schema::funktionenFields());
        rows.open();
        const int count = args[3].toInt();
        for (int i = 0; i < count; ++i) {
            rows.insertRecord({QStringLiteral("%1 %2").arg(args[4]).arg(i), i});
            std::printf("ok %d\n", rows.field(QStringLiteral("id")).asInteger());
            std::fflush(stdout);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
