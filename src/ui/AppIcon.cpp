#include "AppIcon.h"

#include "AppIconArt.h"

#include <QPixmap>

namespace ui {

QIcon appIcon()
{
    QIcon icon;
    for (const int side : appicon::kSizes)
        icon.addPixmap(QPixmap::fromImage(appicon::draw(side)));
    return icon;
}

} // namespace ui
