#pragma once
// What the benchmarks of the decode passes and the section model share:
// settings of their own under a temporary folder, never the user's, and
// generated shoots kept in the benchmark cache of the build folder.

#include "bench/BenchOutput.h"
#include "settings/Settings.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace sorrelby::bench {

// Before the application object exists: settings under `root`, the log quiet.
inline void isolateRun(const QString &root)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qInstallMessageHandler(quietLog);
}

// Once it exists: the factory settings, and the cores line of the benchmark.
inline void startRun(const char *prefix)
{
    Settings::shared().registerFactoryDefaults();
    coresLine(prefix);
}

// The shoot of `spec`, generated once into the benchmark cache under `name`
// and reused as long as every photo of its manifest is still there.
inline std::optional<testkit::Shoot> cachedShoot(const QString &name, testkit::ShootSpec spec)
{
    const QString folder = QStringLiteral(SORRELBY_BENCH_CACHE "/") + name;
    const QString manifest = folder + QStringLiteral("/manifest.json");
    if (std::optional<testkit::Shoot> shoot = testkit::readManifest(manifest)) {
        shoot->folder = folder;
        bool complete = true;
        for (const QString &path : shoot->paths())
            complete = complete && QFileInfo::exists(path);
        if (complete)
            return shoot;
    }
    QDir(folder).removeRecursively();
    spec.manifestPath = manifest;
    const qsizetype photos = spec.subjects * (spec.photosPerSubject + 1) * spec.cameras.size();
    note(QStringLiteral("generating the shoot (%1 photos) into %2 ...").arg(photos).arg(folder));
    return testkit::writeShoot(folder, spec);
}

} // namespace sorrelby::bench
