#include "DesignFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace ui {

namespace {

QStringList candidatesFor(const QString &family)
{
    QStringList candidates{family};
    if (family.compare(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) == 0)
        candidates << QStringLiteral("Microsoft Sans Serif");
    candidates << QStringLiteral("Liberation Sans") << QStringLiteral("Arimo") << QStringLiteral("Arial")
               << QStringLiteral("DejaVu Sans Condensed") << QStringLiteral("DejaVu Sans");
    return candidates;
}

} // namespace

QFont designFont(const QString &family, int pointSize)
{
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(family);
    for (const QString &candidate : candidatesFor(family)) {
        if (QFontDatabase::hasFamily(candidate)) {
            font.setFamily(candidate);
            break;
        }
    }
    font.setPointSize(pointSize);
    return font;
}

} // namespace ui
