#include "StandardRights.h"

QStringList standardRightTitles(const StandardRights &rights)
{
    QStringList titles;
    if (rights.add)
        titles << kTitleAdd.toString();
    if (rights.change)
        titles << kTitleChange.toString();
    if (rights.remove)
        titles << kTitleDelete.toString();
    if (rights.print)
        titles << kTitlePrint.toString();
    return titles;
}
