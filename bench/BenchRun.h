#pragma once
// What the benchmarks of the decode passes and the section model share:
// settings of their own under a temporary folder, never the user's, and
// generated shoots kept in the benchmark cache of the build folder.

#include "bench/BenchOutput.h"
#include "settings/Settings.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

namespace sorrelby::bench {

// One benchmark process: settings of its own under a temporary root (set
// before the application object exists), the log quiet, the factory
// settings registered and the cores line printed.
class IsolatedRun {
public:
    IsolatedRun(int &argc, char **argv, const char *prefix)
        : m_app((isolate(m_root), argc), argv)
    {
        Settings::shared().registerFactoryDefaults();
        coresLine(prefix);
    }
    bool isValid() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }

private:
    static void isolate(const QTemporaryDir &root)
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/config")));
        qInstallMessageHandler(quietLog);
    }

    QTemporaryDir m_root;
    QCoreApplication m_app;
};

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
