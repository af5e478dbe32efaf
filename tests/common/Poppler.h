#pragma once

// Reading a PDF back as its reader would: the text and the page count through poppler's tools.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace testsupport {

// What a poppler tool prints for these arguments; empty when it failed.
inline QString poppler(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int pdfPageCount(const QString &pdf)
{
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    return pages.match(poppler(QStringLiteral("pdfinfo"), {pdf})).captured(1).toInt();
}

} // namespace testsupport
