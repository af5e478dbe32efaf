// Writes the program's icon into a hicolor icon tree: OUTDIR/<n>x<n>/apps/sicherheit.png for every size.

#include "AppIconArt.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon OUTDIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int side : appicon::kSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(side);
        const QString file = folder + QStringLiteral("/sicherheit.png");
        if (!QDir().mkpath(folder) || !appicon::draw(side).save(file, "PNG")) {
            std::fprintf(stderr, "make-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
