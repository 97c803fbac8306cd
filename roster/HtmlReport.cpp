#include "roster/HtmlReport.h"

#include "browser/Thumbnails.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentMap>

#include <map>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"HtmlReport";
const QString cThumbFolder = QStringLiteral("thumbs");
constexpr int cChunk = 32; // thumbnails between two progress reports

struct Page {
    QString title;
    QString fileName;
    std::vector<int> subjects;
    bool withoutCode = false; // the page of the photos without a code
};

const char *const cStyle
    = "body{font-family:sans-serif;margin:1.5em;color:#222}"
      "h1{font-size:1.5em}h2{font-size:1.15em;margin:1.2em 0 .3em}"
      "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.2em .6em;text-align:left}"
      ".marks{color:#b00020;font-weight:bold}"
      ".sheet{display:flex;flex-wrap:wrap;gap:6px}"
      "figure{margin:0;width:124px;font-size:.7em;word-break:break-all}"
      "figure img,.none{width:120px;height:120px;object-fit:contain;background:#eee;border:2px solid #eee;display:block}"
      "figure.card img{border-color:#e0a000}";

QString thumbName(size_t photo)
{
    return cThumbFolder + QStringLiteral("/p%1.jpg").arg(photo, 6, 10, QLatin1Char('0'));
}

QString pageStart(const QString &title)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                          "<meta name=\"generator\" content=\"Sorrelby\"><title>")
        + htmlEscaped(title) + QStringLiteral("</title><style>") + QLatin1String(cStyle) + QStringLiteral("</style></head><body>\n");
}

QString subjectTitle(const ShootReport &report, int subject)
{
    QString title = report.check.subjects[size_t(subject)].code;
    if (const QString name = report.nameOf(subject); !name.isEmpty())
        title += QStringLiteral(" · ") + name;
    if (const QString group = report.groupOf(subject); !group.isEmpty())
        title += QStringLiteral(" · ") + group;
    return title;
}

QString visitText(const SubjectStatus &status)
{
    QStringList times;
    for (const qint64 ms : status.visitTimes)
        times.append(reportTime(QDateTime::fromMSecsSinceEpoch(ms)));
    return times.join(QStringLiteral(", "));
}

// The pages: one per roster group in the roster's order, then the codes off
// the roster (all codes when there is no roster), then the photos without a code.
std::vector<Page> planPages(const ShootReport &report)
{
    std::vector<Page> pages;
    std::map<QString, size_t> pageOfGroup;
    std::vector<int> others;
    for (size_t s = 0; s < report.check.subjects.size(); ++s) {
        const RosterSubject *row = report.rosterSubjectOf(int(s));
        if (!row) {
            others.push_back(int(s));
            continue;
        }
        auto found = pageOfGroup.find(row->group);
        if (found == pageOfGroup.end()) {
            found = pageOfGroup.emplace(row->group, pages.size()).first;
            pages.push_back({row->group.isEmpty() ? QStringLiteral("Without a group") : row->group,
                             QStringLiteral("group-%1.html").arg(pages.size() + 1),
                             {},
                             false});
        }
        pages[found->second].subjects.push_back(int(s));
    }
    if (!others.empty()) {
        const bool hasRoster = report.roster != nullptr;
        pages.push_back({hasRoster ? QStringLiteral("Not on the roster") : QStringLiteral("Subjects"),
                         hasRoster ? QStringLiteral("not-on-roster.html") : QStringLiteral("subjects.html"), others, false});
    }
    if (report.check.photosWithoutCode > 0)
        pages.push_back({QStringLiteral("Photos without a code"), QStringLiteral("without-code.html"), {}, true});
    return pages;
}

QString contactSheet(const ShootReport &report, const std::vector<int> &photos, const std::vector<char> &hasThumb)
{
    QString html = QStringLiteral("<div class=\"sheet\">");
    for (const int p : photos) {
        const ReportPhoto &photo = report.photos[size_t(p)];
        const QString name = htmlEscaped(photo.fileName);
        html += photo.isCard ? QStringLiteral("<figure class=\"card\">") : QStringLiteral("<figure>");
        if (hasThumb[size_t(p)])
            html += QStringLiteral("<img src=\"") + thumbName(size_t(p)) + QStringLiteral("\" alt=\"") + name
                + QStringLiteral("\" loading=\"lazy\">");
        else
            html += QStringLiteral("<div class=\"none\"></div>");
        html += QStringLiteral("<figcaption>") + name + (photo.isCard ? QStringLiteral(" (card)") : QString())
            + QStringLiteral("</figcaption></figure>");
    }
    return html + QStringLiteral("</div>\n");
}

QString groupPage(const ShootReport &report, const Page &page, const std::vector<std::vector<int>> &photosOf,
                  const std::vector<int> &withoutCode, const std::vector<char> &hasThumb)
{
    QString html = pageStart(page.title);
    html += QStringLiteral("<p><a href=\"index.html\">Report</a></p><h1>") + htmlEscaped(page.title) + QStringLiteral("</h1>\n");
    if (page.withoutCode) {
        html += QStringLiteral("<p>%1 photo(s) carry no code: taken before the first card, after a card that "
                               "was not read, or marked unknown.</p>\n")
                    .arg(withoutCode.size());
        return html + contactSheet(report, withoutCode, hasThumb) + QStringLiteral("</body></html>\n");
    }
    for (const int s : page.subjects) {
        const SubjectStatus &status = report.check.subjects[size_t(s)];
        html += QStringLiteral("<section id=\"s%1\"><h2>").arg(s) + htmlEscaped(subjectTitle(report, s))
            + QStringLiteral("</h2>\n<p>%1 portrait(s), %2 card photo(s)").arg(status.portraits()).arg(status.cards);
        if (status.marks)
            html += QStringLiteral(" · <span class=\"marks\">") + htmlEscaped(markText(status.marks)) + QStringLiteral("</span>");
        if (!status.visitTimes.isEmpty())
            html += QStringLiteral(" (") + visitText(status) + u')';
        html += QStringLiteral("</p>\n");
        if (!photosOf[size_t(s)].empty())
            html += contactSheet(report, photosOf[size_t(s)], hasThumb);
        html += QStringLiteral("</section>\n");
    }
    return html + QStringLiteral("</body></html>\n");
}

// A list of subjects with one mark, on the index page.
QString markedList(const ShootReport &report, SubjectMark mark, const QString &heading, const std::map<int, QString> &pageOfSubject)
{
    QString rows;
    for (size_t s = 0; s < report.check.subjects.size(); ++s) {
        const SubjectStatus &status = report.check.subjects[s];
        if (!status.has(mark))
            continue;
        const auto page = pageOfSubject.find(int(s));
        const QString code = htmlEscaped(status.code);
        rows += QStringLiteral("<tr><td>")
            + (page != pageOfSubject.end() ? QStringLiteral("<a href=\"%1#s%2\">").arg(page->second).arg(s) + code + QStringLiteral("</a>")
                                           : code)
            + QStringLiteral("</td><td>") + htmlEscaped(report.nameOf(int(s))) + QStringLiteral("</td><td>")
            + htmlEscaped(report.groupOf(int(s))) + QStringLiteral("</td><td>%1</td>").arg(status.photos)
            + (mark == MarkPhotographedTwice ? QStringLiteral("<td>") + visitText(status) + QStringLiteral("</td>") : QString())
            + QStringLiteral("</tr>\n");
    }
    if (rows.isEmpty())
        return {};
    return QStringLiteral("<h2 class=\"marks\">") + htmlEscaped(heading)
        + QStringLiteral("</h2>\n<table><tr><th>Code</th><th>Name</th><th>Group</th><th>Photos</th>")
        + (mark == MarkPhotographedTwice ? QStringLiteral("<th>Visits</th>") : QString()) + QStringLiteral("</tr>\n") + rows
        + QStringLiteral("</table>\n");
}

QString indexPage(const ShootReport &report, const std::vector<Page> &pages)
{
    std::map<int, QString> pageOfSubject;
    for (const Page &page : pages)
        for (const int s : page.subjects)
            pageOfSubject.emplace(s, page.fileName);
    QString html = pageStart(QStringLiteral("Shoot report"));
    html += QStringLiteral("<h1>Shoot report</h1>\n<p>Photos: ") + htmlEscaped(report.source);
    if (report.roster)
        html += QStringLiteral("<br>Roster: ") + htmlEscaped(report.roster->path);
    html += QStringLiteral("<br>%1 photo(s). ").arg(report.photos.size()) + htmlEscaped(report.check.summary()) + QStringLiteral(".</p>\n");
    html += markedList(report, MarkMissing, QStringLiteral("Missing"), pageOfSubject);
    html += markedList(report, MarkNotOnRoster, QStringLiteral("Not on the roster"), pageOfSubject);
    html += markedList(report, MarkOnlyCard, QStringLiteral("Only a card"), pageOfSubject);
    html += markedList(report, MarkPhotographedTwice, QStringLiteral("Photographed twice"), pageOfSubject);
    html += QStringLiteral("<h2>Pages</h2>\n<table><tr><th>Page</th><th>Subjects</th><th>Photographed</th>"
                           "<th>Photos</th></tr>\n");
    for (const Page &page : pages) {
        int photographed = 0;
        int photos = page.withoutCode ? report.check.photosWithoutCode : 0;
        for (const int s : page.subjects) {
            photographed += report.check.subjects[size_t(s)].photos > 0 ? 1 : 0;
            photos += report.check.subjects[size_t(s)].photos;
        }
        html += QStringLiteral("<tr><td><a href=\"%1\">").arg(page.fileName) + htmlEscaped(page.title)
            + QStringLiteral("</a></td><td>%1</td><td>%2</td><td>%3</td></tr>\n").arg(page.subjects.size()).arg(photographed).arg(photos);
    }
    return html + QStringLiteral("</table>\n</body></html>\n");
}

// Only names this report writes may be removed on the strength of the list.
bool isListedName(const QString &relative)
{
    static const QRegularExpression names(QStringLiteral("^(thumbs/p[0-9]+\\.jpg|[a-z0-9-]+\\.html)$"));
    return names.match(relative).hasMatch();
}

// Makes the folder ready: new, empty, or an earlier report whose files go.
QString prepareFolder(const QString &folder, const QStringList &planned)
{
    QDir dir(folder);
    if (!dir.exists()) {
        const FileResult made = fileops::createFolder(folder);
        return made ? QString() : QStringLiteral("cannot make the folder \"%1\": %2").arg(folder, made.error);
    }
    // What a report killed while writing left half written.
    fileops::removeLeftoverTemporaries(folder);
    if (dir.exists(cThumbFolder))
        fileops::removeLeftoverTemporaries(dir.filePath(cThumbFolder));
    const QString list = dir.filePath(cReportListFileName);
    if (QFile::exists(list)) {
        QFile file(list);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read \"%1\": %2").arg(list, file.errorString());
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QString relative = QString::fromUtf8(line).trimmed();
            if (isListedName(relative) && fileops::exists(dir.filePath(relative)))
                fileops::removeFile(dir.filePath(relative));
        }
    } else if (!dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty()) {
        return QStringLiteral("the folder \"%1\" holds other files; give a new or empty folder").arg(folder);
    }
    for (const QString &relative : planned) {
        if (fileops::exists(dir.filePath(relative)))
            return QStringLiteral("\"%1\" is in the way; give a new or empty folder").arg(dir.filePath(relative));
    }
    return {};
}

QByteArray jpegOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 82))
        return {};
    return bytes;
}

} // namespace

QString htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().replace(u'\'', QStringLiteral("&#39;"));
}

HtmlReportResult writeHtmlReport(const ShootReport &report, const QString &folder, const HtmlReportProgress &progress)
{
    HtmlReportResult result;
    const std::vector<Page> pages = planPages(report);
    QStringList planned{QStringLiteral("index.html")};
    for (const Page &page : pages)
        planned.append(page.fileName);
    for (size_t p = 0; p < report.photos.size(); ++p)
        planned.append(thumbName(p));

    if (const QString problem = prepareFolder(folder, planned); !problem.isEmpty()) {
        result.error = problem;
        return result;
    }
    const QDir dir(folder);
    // The list goes first, so that a report cut short is still known as ours.
    const QByteArray listed = planned.join(u'\n').toUtf8() + '\n';
    FileResult written = fileops::writeFileAtomically(dir.filePath(cReportListFileName), listed);
    if (written)
        written = fileops::createFolder(dir.filePath(cThumbFolder));
    if (!written) {
        result.error = QStringLiteral("cannot write into \"%1\": %2").arg(folder, written.error);
        return result;
    }

    const int total = int(report.photos.size() + pages.size()) + 1;
    std::vector<char> hasThumb(report.photos.size(), 0);
    std::vector<QString> failures(report.photos.size());
    std::vector<size_t> indexes(report.photos.size());
    for (size_t p = 0; p < indexes.size(); ++p)
        indexes[p] = p;
    for (size_t start = 0; start < indexes.size(); start += cChunk) {
        const size_t end = std::min(indexes.size(), start + cChunk);
        QtConcurrent::blockingMap(indexes.begin() + qsizetype(start), indexes.begin() + qsizetype(end), [&](size_t p) {
            const QImage image = makeThumbnail(report.photos[p].path, cThumbnailMaxSide);
            const QByteArray jpeg = image.isNull() ? QByteArray() : jpegOf(image);
            if (jpeg.isEmpty())
                return;
            const FileResult saved = fileops::writeFileAtomically(dir.filePath(thumbName(p)), jpeg);
            if (saved)
                hasThumb[p] = 1;
            else
                failures[p] = saved.error;
        });
        if (progress)
            progress(int(end), total);
    }
    for (size_t p = 0; p < failures.size(); ++p) {
        if (!failures[p].isEmpty()) {
            result.error = QStringLiteral("cannot write a thumbnail into \"%1\": %2").arg(folder, failures[p]);
            return result;
        }
        result.thumbnails += hasThumb[p] ? 1 : 0;
    }
    result.unreadable = int(report.photos.size()) - result.thumbnails;

    std::vector<std::vector<int>> photosOf(report.check.subjects.size());
    std::vector<int> withoutCode;
    for (size_t p = 0; p < report.photos.size(); ++p) {
        const int s = report.check.subjectOfPhoto[p];
        (s >= 0 ? photosOf[size_t(s)] : withoutCode).push_back(int(p));
    }
    int done = int(report.photos.size());
    for (const Page &page : pages) {
        written
            = fileops::writeFileAtomically(dir.filePath(page.fileName), groupPage(report, page, photosOf, withoutCode, hasThumb).toUtf8());
        if (!written) {
            result.error = QStringLiteral("cannot write \"%1\": %2").arg(dir.filePath(page.fileName), written.error);
            return result;
        }
        ++result.pages;
        if (progress)
            progress(++done, total);
    }
    result.indexPath = dir.filePath(QStringLiteral("index.html"));
    written = fileops::writeFileAtomically(result.indexPath, indexPage(report, pages).toUtf8());
    if (!written) {
        result.error = QStringLiteral("cannot write \"%1\": %2").arg(result.indexPath, written.error);
        return result;
    }
    ++result.pages;
    if (progress)
        progress(total, total);
    logOp(cClass, u"writeHtmlReport()",
          QStringLiteral("%1 pages, %2 thumbnails in %3").arg(result.pages).arg(result.thumbnails).arg(folder));
    result.ok = true;
    return result;
}

} // namespace sorrelby
