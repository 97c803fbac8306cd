// `sections [--json] [--single] FOLDER`: the browser's section
// table of a folder (index, section key, number of photos, file names), as
// text or JSON. Nothing is renamed and no thumbnail is made.

#include "app/cli/CommandLine.h"
#include "app/cli/Commands.h"
#include "browser/SectionModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("sections");

QStringList fileNamesOfSection(const ImageDirectoryLoader &loader, int section)
{
    QStringList names;
    const int count = loader.numberOfItemsInSection(section);
    for (int item = 0; item < count; ++item) {
        if (const ImageFilePtr file = loader.imageFileForIndexPath({section, item}))
            names.append(file->fileName);
    }
    return names;
}

QJsonObject sectionsAsJson(const ImageDirectoryLoader &loader, const QString &folder)
{
    QJsonArray sections;
    for (int s = 0; s < int(loader.sectionsAttributesArray.size()); ++s) {
        const std::optional<QString> key = loader.barcodeidForSection(s);
        QJsonObject section;
        section.insert(QStringLiteral("index"), s);
        section.insert(QStringLiteral("key"), key ? QJsonValue(*key) : QJsonValue(QJsonValue::Null));
        section.insert(QStringLiteral("offset"), loader.sectionsAttributesArray[size_t(s)].sectionOffset);
        section.insert(QStringLiteral("count"), loader.numberOfItemsInSection(s));
        section.insert(QStringLiteral("files"), QJsonArray::fromStringList(fileNamesOfSection(loader, s)));
        sections.append(section);
    }
    QJsonObject root;
    root.insert(QStringLiteral("folder"), folder);
    root.insert(QStringLiteral("photos"), loader.numberOfItems());
    root.insert(QStringLiteral("singleSectionMode"), loader.singleSectionMode);
    root.insert(QStringLiteral("sortKey"), ImageDirectoryLoader::selectedSortKey());
    root.insert(QStringLiteral("descending"), ImageDirectoryLoader::selectedSortDescending());
    root.insert(QStringLiteral("sections"), sections);
    return root;
}

void printSectionsAsText(const ImageDirectoryLoader &loader)
{
    printOut(QStringLiteral("%1 photos in %2 section(s)").arg(loader.numberOfItems()).arg(loader.sectionsAttributesArray.size()));
    for (int s = 0; s < int(loader.sectionsAttributesArray.size()); ++s) {
        const std::optional<QString> key = loader.barcodeidForSection(s);
        printOut(QStringLiteral("%1\t%2\t%3").arg(s).arg(key ? *key : QStringLiteral("-")).arg(loader.numberOfItemsInSection(s)));
        for (const QString &name : fileNamesOfSection(loader, s))
            printOut(QStringLiteral("\t\t\t") + name);
    }
}

} // namespace

int runSectionsCommand(const QStringList &args)
{
    bool json = false;
    bool single = false;
    QStringList operands;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--json"))
            json = true;
        else if (arg == QLatin1String("--single"))
            single = true;
        else if (isOption(arg))
            return usageError(kUsage, QStringLiteral("unknown option ") + arg);
        else
            operands.append(arg);
    }
    const std::optional<QString> folder = singleFolder(operands, QStringLiteral("sections"), kUsage);
    if (!folder)
        return kExitUsage;

    ImageDirectoryLoader loader;
    loader.singleSectionMode = single;
    if (!loader.loadDataForFolderWithUrl(*folder))
        return unreadableFolder(*folder, loader.lastError());
    if (json)
        printOut(QString::fromUtf8(QJsonDocument(sectionsAsJson(loader, *folder)).toJson(QJsonDocument::Indented)).trimmed());
    else
        printSectionsAsText(loader);
    return kExitOk;
}

} // namespace sorrelby::cli
