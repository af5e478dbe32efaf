#pragma once

#include <QIcon>
#include <QList>

// The small tool-button pictures of the main window, drawn rather than shipped so they stay sharp and
// need no files beside the program.
namespace imagelists {

// ImageList1: 0 change group, 1 add, 2 delete, 3 save, 4 copy (standard rights / rights copy).
QList<QIcon> imageList1();
// ImageList2: 0 add user, 1 remove user, 2 add all users.
QList<QIcon> imageList2();
// ImageList3: 0 open database, 1 rights overview.
QList<QIcon> imageList3();

} // namespace imagelists
