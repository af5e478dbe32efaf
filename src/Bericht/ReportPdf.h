#pragma once

// The access review report laid out on A4 pages as a PDF: every page with a head naming the file and the
// scope and a foot with its number of all ("Seite 3 von 41") and the date. Tables break across pages with
// their column heads repeated; a user's section starts on a new page when it would not fit on the rest of
// one, so that a signed page holds one person's rights whole.
//
// "von 41" is known only at the end: the pages are laid out twice, once to count them without painting,
// then painted. Sections are made and laid out one at a time (a report of every user never holds the whole
// document), and each pass decides the same breaks.

#include "PrivateFile.h"

#include <QIODevice>
#include <QPageLayout>
#include <QString>

#include <functional>
#include <optional>

class QPagedPaintDevice;

namespace report {

class ReportContent;

// Told how many of `total` steps are done; returns false to stop.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// The page the report is laid out on: A4 upright, 18 mm margins at the sides, 14 mm above and below.
QPageLayout reportPage();

// Lays the report out on `device` (a printer, a print preview's, a PDF writer) at its own resolution, on
// reportPage(), which it sets. Returns the number of pages, or nothing when `progress` asked to stop
// (the pages painted by then are no report). Throws StoreError when the device takes no painter.
std::optional<int> paintReport(const ReportContent &content, QPagedPaintDevice &device,
                               const Progress &progress = {});

// Writes the report to `device` (open for writing) as a PDF at 300 dpi. Returns the number of pages, or
// nothing when `progress` asked to stop (what was written by then is no report). Throws StoreError when the
// PDF cannot be begun.
std::optional<int> writePdf(const ReportContent &content, QIODevice &device, const Progress &progress = {});

// Writes the report to a file at `path` that only its owner and group may read. With Existing::Replace a
// file there is replaced only once the report is whole: a report stopped or failed leaves what was there.
// Returns the number of pages, or nothing when stopped. Throws StoreError naming the file.
std::optional<int> savePdf(const ReportContent &content, const QString &path,
                           store::PrivateFile::Existing existing, const Progress &progress = {});

} // namespace report
