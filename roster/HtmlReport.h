#pragma once
// The report of a shoot as a small web site in a folder of its own: an
// index page with the subjects that need a look first (missing, not on the
// roster, only a card, photographed twice, photos without a code) and a list
// of the groups; one page per group with a contact sheet per subject. The
// thumbnails are made by the browser's thumbnail function and written as
// JPEG files beside the pages; nothing is fetched from a network.
//
// The folder must be new, empty, or hold an earlier report (told by the
// ".sorrelby-report" file listing what that report wrote, which is removed
// first); anything else is refused, so no file of the user's is replaced.
// Call from one thread at a time, off the GUI thread: thumbnails are made on
// a thread pool and progress is reported on the calling thread.

#include "roster/ShootReport.h"

#include <functional>

namespace sorrelby {

inline constexpr QLatin1StringView cReportListFileName{".sorrelby-report"};

struct HtmlReportResult {
    bool ok = false;
    QString error;     // why nothing (or not everything) was written
    QString indexPath; // the index page
    int pages = 0;
    int thumbnails = 0;
    int unreadable = 0; // photos shown without a thumbnail
};

using HtmlReportProgress = std::function<void(int done, int total)>;

HtmlReportResult writeHtmlReport(const ShootReport &report, const QString &folder, const HtmlReportProgress &progress = {});

// Text as it may stand in HTML text and attribute values.
QString htmlEscaped(const QString &text);

} // namespace sorrelby
