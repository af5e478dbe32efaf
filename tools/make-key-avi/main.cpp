// Writes the logon's key animation to the AVI file named on the command line.

#include "AviWriter.h"
#include "KeyAnimation.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-key-avi OUTPUT.avi\n");
        return 2;
    }
    const QByteArray avi = writeAvi(drawKeyAnimation());
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(avi) != avi.size()) {
        std::fprintf(stderr, "make-key-avi: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
