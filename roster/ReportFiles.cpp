#include "roster/ReportFiles.h"

#include "roster/CsvText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sorrelby {

namespace {

constexpr char cUtf8Bom[] = "\xEF\xBB\xBF";
// What a JSON report says it is, so that it can be told from other files.
const QString cJsonReportKind = QStringLiteral("sorrelby-shoot-report");

QString kindOf(const ReportPhoto &photo)
{
    return photo.isCard ? QStringLiteral("card") : QStringLiteral("portrait");
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

} // namespace

std::optional<ReportFormat> reportFormatNamed(const QString &name)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("csv"))
        return ReportFormat::Csv;
    if (lower == QLatin1String("json"))
        return ReportFormat::Json;
    if (lower == QLatin1String("html"))
        return ReportFormat::Html;
    return std::nullopt;
}

QStringList reportCsvHeader()
{
    return {QStringLiteral("file"),  QStringLiteral("code"),         QStringLiteral("name"),
            QStringLiteral("group"), QStringLiteral("capture time"), QStringLiteral("camera"),
            QStringLiteral("kind"),  QStringLiteral("marks"),        QStringLiteral("delivered path")};
}

QByteArray reportCsv(const ShootReport &report)
{
    const QStringList extraColumns = report.roster ? report.roster->extraColumns : QStringList();
    QByteArray out(cUtf8Bom);
    out.reserve(qsizetype(report.photos.size()) * 120);
    out += csvLine(reportCsvHeader() + extraColumns);
    const auto row
        = [&](const QString &file, int subject, const QString &time, const QString &camera, const QString &kind, const QString &delivered) {
              const SubjectStatus *status = subject >= 0 ? &report.check.subjects[size_t(subject)] : nullptr;
              QStringList fields{file,
                                 status ? status->code : QString(),
                                 report.nameOf(subject),
                                 report.groupOf(subject),
                                 time,
                                 camera,
                                 kind,
                                 status ? markText(status->marks) : QString(),
                                 delivered};
              if (const RosterSubject *listed = report.rosterSubjectOf(subject))
                  fields += listed->extra;
              else
                  for (qsizetype i = 0; i < extraColumns.size(); ++i)
                      fields.append(QString());
              for (QString &field : fields)
                  field = spreadsheetSafe(field);
              out += csvLine(fields);
          };
    for (size_t i = 0; i < report.photos.size(); ++i) {
        const ReportPhoto &photo = report.photos[i];
        row(photo.fileName, report.check.subjectOfPhoto[i], reportTime(photo.captureTime), photo.camera, kindOf(photo),
            photo.deliveredPath);
    }
    for (size_t s = 0; s < report.check.subjects.size(); ++s) {
        if (report.check.subjects[s].has(MarkMissing))
            row(QString(), int(s), QString(), QString(), QStringLiteral("missing"), QString());
    }
    return out;
}

QByteArray reportJson(const ShootReport &report)
{
    const ShootCheck &check = report.check;
    QJsonArray subjects;
    for (size_t s = 0; s < check.subjects.size(); ++s) {
        const SubjectStatus &status = check.subjects[s];
        QJsonObject subject{{QStringLiteral("code"), status.code},
                            {QStringLiteral("photos"), status.photos},
                            {QStringLiteral("cards"), status.cards},
                            {QStringLiteral("portraits"), status.portraits()},
                            {QStringLiteral("onRoster"), status.rosterRow >= 0},
                            {QStringLiteral("marks"), QJsonArray::fromStringList(markKeys(status.marks))}};
        QJsonArray visits;
        for (const qint64 ms : status.visitTimes)
            visits.append(reportTime(QDateTime::fromMSecsSinceEpoch(ms)));
        subject.insert(QStringLiteral("visits"), visits);
        if (const RosterSubject *row = report.rosterSubjectOf(int(s))) {
            subject.insert(QStringLiteral("name"), row->displayName());
            subject.insert(QStringLiteral("firstName"), row->firstName);
            subject.insert(QStringLiteral("lastName"), row->lastName);
            subject.insert(QStringLiteral("group"), row->group);
            subject.insert(QStringLiteral("line"), row->line);
            QJsonObject extra;
            for (qsizetype c = 0; c < report.roster->extraColumns.size(); ++c)
                extra.insert(report.roster->extraColumns[c], row->extra.value(c));
            subject.insert(QStringLiteral("extra"), extra);
        }
        subjects.append(subject);
    }
    QJsonArray photos;
    for (size_t i = 0; i < report.photos.size(); ++i) {
        const ReportPhoto &photo = report.photos[i];
        const int subject = check.subjectOfPhoto[i];
        photos.append(QJsonObject{{QStringLiteral("file"), photo.fileName},
                                  {QStringLiteral("code"), photo.code ? QJsonValue(*photo.code) : QJsonValue()},
                                  {QStringLiteral("name"), textOrNull(report.nameOf(subject))},
                                  {QStringLiteral("group"), textOrNull(report.groupOf(subject))},
                                  {QStringLiteral("captureTime"), textOrNull(reportTime(photo.captureTime))},
                                  {QStringLiteral("camera"), photo.camera},
                                  {QStringLiteral("kind"), kindOf(photo)},
                                  {QStringLiteral("deliveredPath"), textOrNull(photo.deliveredPath)}});
    }
    int photographed = 0;
    for (const SubjectStatus &status : check.subjects)
        photographed += status.photos > 0 ? 1 : 0;
    const QJsonObject summary{{QStringLiteral("photos"), qint64(report.photos.size())},
                              {QStringLiteral("subjects"), qint64(check.subjects.size())},
                              {QStringLiteral("photographed"), photographed},
                              {QStringLiteral("missing"), check.missing},
                              {QStringLiteral("onlyCard"), check.onlyCard},
                              {QStringLiteral("photographedTwice"), check.photographedTwice},
                              {QStringLiteral("notOnRoster"), check.notOnRoster},
                              {QStringLiteral("photosWithoutCode"), check.photosWithoutCode}};
    const QJsonObject root{{QStringLiteral("report"), cJsonReportKind},
                           {QStringLiteral("source"), report.source},
                           {QStringLiteral("roster"), report.roster ? textOrNull(report.roster->path) : QJsonValue()},
                           {QStringLiteral("summary"), summary},
                           {QStringLiteral("subjects"), subjects},
                           {QStringLiteral("photos"), photos}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool isReportFile(const QString &path, ReportFormat format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (format == ReportFormat::Csv) {
        const CsvTable table = parseCsv(file.readLine(64 * 1024));
        return !table.records.isEmpty() && table.records.first().fields.mid(0, reportCsvHeader().size()) == reportCsvHeader();
    }
    if (format == ReportFormat::Json) {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        return doc.isObject() && doc.object().value(QStringLiteral("report")).toString() == cJsonReportKind;
    }
    return false;
}

} // namespace sorrelby
