// bench-sections: loading a folder of 2,000 camera JPEGs (with their
// embedded Exif previews) into the browser's section model:
//   - records and sections alone (listing, type check, ordering, grouping);
//   - with thumbnails from a cold thumbnail service;
//   - a reload after every photo was renamed, with the same service (its
//     cache knows the files by identity, so no thumbnail is made again).
//   - ordering the photos by capture time: by file dates alone (what it
//     cost before photos were ordered by their Exif), reading every photo's
//     Exif capture time the first time, and again from the cache.
// The folder is written under a temporary folder; settings are isolated there.

#include "bench/BenchRun.h"
#include "browser/SectionModel.h"
#include "browser/ThumbnailService.h"
#include "naming/PhotoOrdering.h"
#include "platform/FileOps.h"
#include "tests/testkit/photos/PhotoGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>

using namespace sorrelby;
using sorrelby::bench::benchLine;
using sorrelby::bench::note;

namespace {

constexpr int cPhotos = 2000;

// 2,000 copies of one camera JPEG, ten photos per subject, one second apart.
bool writeFolder(const QString &folder)
{
    const QString model = folder + QStringLiteral("/model.jpg");
    testkit::PhotoSpec spec;
    spec.size = QSize(1600, 1067);
    spec.exif.camera = testkit::nikonCamera();
    spec.exif.captureTime = QDateTime(QDate(2024, 5, 1), QTime(9, 0));
    if (!testkit::writePhoto(model, spec))
        return false;
    QFile modelFile(model);
    if (!modelFile.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = modelFile.readAll();
    modelFile.close();
    QFile::remove(model);
    for (int i = 0; i < cPhotos; ++i) {
        const QString path = folder + QStringLiteral("/DSC_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
        file.close();
        fileops::setModificationDate(path, spec.exif.captureTime.addSecs(i));
    }
    return true;
}

// Gives every photo a code, as the decode pass would.
void renameAll(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (int i = 0; i < names.size(); ++i) {
        const QString code = QStringLiteral("S%1").arg(i / 10 + 1, 3, 10, QLatin1Char('0'));
        fileops::moveNoReplace(folder + QLatin1Char('/') + names[i], folder + QLatin1Char('/') + code + QLatin1Char('_') + names[i]);
    }
}

// Best of three loads, in seconds.
template<typename Load> double bestOf(int runs, Load load)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        load();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

int thumbnailsOf(const ImageDirectoryLoader &loader)
{
    return int(
        std::count_if(loader.imageFiles.begin(), loader.imageFiles.end(), [](const ImageFilePtr &f) { return !f->thumbnail.isNull(); }));
}

} // namespace

int main(int argc, char **argv)
{
    bench::IsolatedRun run(argc, argv, "sections");
    if (!run.isValid())
        return 1;
    const QString root = run.root();

    const QString folder = root + QStringLiteral("/source");
    QDir().mkpath(folder);
    if (!writeFolder(folder)) {
        note(QStringLiteral("could not write the photos"));
        return 1;
    }

    // Ordering alone: file dates, then capture times cold and cached.
    const QStringList photos = [&] {
        QStringList paths;
        for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name))
            paths << folder + QLatin1Char('/') + name;
        return paths;
    }();
    benchLine("sections_order_file_dates_2000",
              bestOf(3, [&] { sortImageUrls(photos, SortDirection::Ascending, QString(cSortKeyModificationDate)); }), "s");
    QElapsedTimer ordering;
    ordering.start();
    sortImageUrls(photos, SortDirection::Ascending);
    benchLine("sections_order_capture_cold_2000", ordering.nsecsElapsed() / 1e9, "s");
    benchLine("sections_order_capture_cached_2000", bestOf(3, [&] { sortImageUrls(photos, SortDirection::Ascending); }), "s");

    // Records and sections alone.
    const double records = bestOf(3, [&] {
        ImageDirectoryLoader loader;
        loader.loadDataForFolderWithUrl(folder);
        if (loader.numberOfItems() != cPhotos)
            note(QStringLiteral("listed %1 photos").arg(loader.numberOfItems()));
    });
    benchLine("sections_records_2000", records, "s");

    // Thumbnails from a cold service, then a reload after renames.
    // A budget that holds a whole 2,000-photo shoot (about 140 MB of 160 px
    // thumbnails in 32 bits).
    auto service = std::make_shared<ThumbnailService>(0, 256LL * 1024 * 1024);
    ImageDirectoryLoader loader;
    loader.setThumbnailService(service);
    QElapsedTimer timer;
    timer.start();
    loader.loadDataForFolderWithUrl(folder);
    benchLine("sections_thumbnails_cold_2000", timer.nsecsElapsed() / 1e9, "s");
    if (thumbnailsOf(loader) != cPhotos)
        note(QStringLiteral("%1 thumbnails made").arg(thumbnailsOf(loader)));

    renameAll(folder);
    timer.restart();
    loader.loadDataForFolderWithUrl(folder);
    benchLine("sections_thumbnails_warm_reload_2000", timer.nsecsElapsed() / 1e9, "s");
    if (thumbnailsOf(loader) != cPhotos || loader.numberOfSections != cPhotos / 10)
        note(QStringLiteral("after renames: %1 thumbnails, %2 sections").arg(thumbnailsOf(loader)).arg(loader.numberOfSections));
    return 0;
}
