#include "naming/FileNameScheme.h"

#include "naming/PhotoRename.h"
#include "platform/FileOps.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"FileNameScheme";
constexpr int cMaxCollisionSuffix = 18;

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QString withExtension(const QString &base, const QString &extension)
{
    return extension.isEmpty() ? base : base + u'.' + extension;
}

// A recovered original base must still name something: an empty base, or one
// made only of separators, would leave a bare extension.
bool isUsableBase(const QString &base)
{
    for (const QChar c : base) {
        if (c != u'_' && !c.isSpace())
            return true;
    }
    return false;
}

// Control characters and line breaks have no place in a file name (NUL
// cuts it short, the others spoil logs and listings).
bool isControlOrLineBreak(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

bool isOuterBlank(QChar c)
{
    return c.isSpace() || isControlOrLineBreak(c);
}

// The text without its surrounding white space and control characters.
QStringView strippedText(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isOuterBlank(text.at(begin)))
        ++begin;
    while (end > begin && isOuterBlank(text.at(end - 1)))
        --end;
    return QStringView(text).mid(begin, end - begin);
}

bool hasInnerControl(const QString &text)
{
    const QStringView inner = strippedText(text);
    return std::any_of(inner.cbegin(), inner.cend(), isControlOrLineBreak);
}

// What a decoded payload may not carry into a file name: surrounding white
// space, line breaks and control characters, and leading dots (which would
// hide the photo). Dots and blanks are stripped until neither leads: ". .A1"
// must not keep its second dot. A control character inside the text makes it
// no code at all (empty): dropped, it would merge AB\nCD with the card ABCD.
QString cleanedCode(const QString &text)
{
    if (hasInnerControl(text))
        return {};
    QString code = strippedText(text).toString();
    while (code.startsWith(u'.'))
        code = code.mid(1).trimmed();
    return code;
}

std::optional<QString> codedName(const QString &code, const QString &name, QStringView operation)
{
    if (!isSafeCode(code)) {
        logOp(cClass, operation, QString(QStringLiteral("refused to name a photo with the code [") + printablePayload(code) + u']'));
        return std::nullopt;
    }
    return code + cDefaultComponentSeparator1 + name;
}

} // namespace

QString printablePayload(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControlOrLineBreak(c))
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString fileNameOf(const QString &nameOrPath)
{
    qsizetype end = nameOrPath.size();
    while (end > 1 && nameOrPath.at(end - 1) == u'/')
        --end;
    const qsizetype slash = nameOrPath.lastIndexOf(u'/', end - 1);
    return nameOrPath.mid(slash + 1, end - slash - 1);
}

QString extensionOf(const QString &nameOrPath)
{
    const QString name = fileNameOf(nameOrPath);
    const qsizetype dot = name.lastIndexOf(u'.');
    // ".hidden" has no extension; "name." has none either.
    if (dot <= 0 || dot == name.size() - 1)
        return {};
    return name.mid(dot + 1);
}

QString baseNameOf(const QString &nameOrPath)
{
    const QString name = fileNameOf(nameOrPath);
    const QString extension = extensionOf(name);
    return extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
}

QString folderOf(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    if (slash < 0)
        return {};
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

int numberOfPartsInOriginal(int tag)
{
    return tag >= 0 && tag <= 2 ? tag + 1 : 0;
}

int numberOfPartsInOriginal()
{
    return numberOfPartsInOriginal(Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

bool checkIfIsOriginal(const QString &nameOrPath, int tag)
{
    qsizetype pieces = 0;
    for (const QString &piece : baseNameOf(nameOrPath).split(cDefaultComponentSeparator1)) {
        if (!piece.trimmed().isEmpty())
            ++pieces;
    }
    return pieces - 1 == tag;
}

bool checkIfIsOriginal(const QString &nameOrPath)
{
    return checkIfIsOriginal(nameOrPath, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

QString getOriginalName(const QString &nameOrPath, int tag)
{
    const QString name = fileNameOf(nameOrPath);
    if (checkIfIsOriginal(name, tag))
        return name;
    const QStringList pieces = baseNameOf(name).split(cDefaultComponentSeparator1);
    const qsizetype parts = numberOfPartsInOriginal(tag);
    // With a format tag outside 0..2 nothing says how many parts the camera
    // name has, so no recovery is possible: the name stays as it is rather
    // than being cut down to a bare extension.
    if (parts == 0 || parts >= pieces.size())
        return name;
    QString base = pieces.mid(pieces.size() - parts).join(cDefaultComponentSeparator1);
    if (base.endsWith(cQRCodeMarker))
        base.remove(cQRCodeMarker);
    if (!isUsableBase(base))
        return name;
    return withExtension(base, extensionOf(name));
}

QString getOriginalName(const QString &nameOrPath)
{
    return getOriginalName(nameOrPath, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

std::optional<QString> revertItemToOriginalNew(const QString &path)
{
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    if (checkIfIsOriginal(path, tag))
        return std::nullopt;
    const QString original = getOriginalName(path, tag);
    if (original == fileNameOf(path)) {
        logOp(cClass, u"revertItemToOriginalNew()", QString(QStringLiteral("no original name in ") + path));
        return std::nullopt;
    }
    const QString target = joinPath(folderOf(path), original);
    logOp(cClass, u"revertItemToOriginalNew()", QString(QStringLiteral("trying to move ") + path + QStringLiteral(" TO ") + target));
    const PhotoRename reverted = revertPhoto(path, tag);
    if (reverted.outcome != PhotoRename::Renamed) {
        logOp(cClass, u"revertItemToOriginalNew()", QString(QStringLiteral("returned nil here...") + reverted.why));
        return std::nullopt;
    }
    return reverted.to;
}

std::optional<QString> revertItemToOriginal(const QString &path)
{
    return revertItemToOriginalNew(path);
}

bool checkIfQRCodeItem(const QString &nameOrPath)
{
    return baseNameOf(nameOrPath).toLower().endsWith(cQRCodeMarker);
}

bool checkIfUnknownItem(const QString &nameOrPath)
{
    return baseNameOf(nameOrPath).toLower().startsWith(cUnknownPrefix);
}

std::optional<QString> codeOfName(const QString &nameOrPath, int tag)
{
    const QStringList pieces = baseNameOf(nameOrPath).split(cDefaultComponentSeparator1);
    if (pieces.size() < 2)
        return std::nullopt;
    const qsizetype parts = numberOfPartsInOriginal(tag);
    // Only a name with more pieces than a one-piece code and the camera name
    // can carry a code of several pieces; every other name keeps the reading
    // it always had, so names written before codes could hold "_" (and names
    // made under another format tag) still read the same.
    const qsizetype codePieces = parts > 0 && pieces.size() > parts + 1 ? pieces.size() - parts : 1;
    // A name written on a drive that refuses some characters holds their
    // stand-ins; the code is what the card said.
    return fromWindowsSafeName(pieces.first(codePieces).join(cDefaultComponentSeparator1));
}

std::optional<QString> codeOfName(const QString &nameOrPath)
{
    return codeOfName(nameOrPath, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

std::optional<QString> doGetQRCodeFromFileName(const QString &path, int tag)
{
    const QString base = baseNameOf(path);
    if (!base.endsWith(cQRCodeMarker))
        return std::nullopt;
    const QString code = codeOfName(path, tag).value_or(base);
    // "_IMG_0411-qrcode" names no code, "._IMG_0411-qrcode" a hidden one:
    // neither may be handed on to the photos that follow.
    if (!isSafeCode(code)) {
        logOp(cClass, u"doGetQRCodeFromFileName()", QString(QStringLiteral("no usable code in ") + printablePayload(path)));
        return std::nullopt;
    }
    logOp(cClass, u"doGetQRCodeFromFileName()", QString(QStringLiteral("code as string = ") + code));
    return code;
}

std::optional<QString> doGetQRCodeFromFileName(const QString &path)
{
    return doGetQRCodeFromFileName(path, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

QString getQRCodePartFromString(const QString &path, int tag)
{
    return codeOfName(path, tag).value_or(baseNameOf(path)).toLower();
}

QString getQRCodePartFromString(const QString &path)
{
    return getQRCodePartFromString(path, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

std::optional<QString> decodeFromUrlString(const QString &payload, bool decodeForUrlString)
{
    const QString trimmed = payload.trimmed();
    // Nor may a web address or a "/" hide a control character inside.
    if (hasInnerControl(payload))
        return QString();
    // A payload kept as it is must still be fit for a file name.
    const auto keptPayload = [&payload]() -> std::optional<QString> {
        const QString cleaned = cleanedCode(payload);
        if (cleaned == payload)
            return std::nullopt;
        return cleaned;
    };
    if (!trimmed.contains(u'/'))
        return keptPayload();
    // "/" would make the code a path: "Smith John/Class 3" sorts as
    // "Smith John:Class 3".
    const auto withColons = [&trimmed] { return cleanedCode(QString(trimmed).replace(u'/', u':')); };
    if (!decodeForUrlString)
        return withColons();

    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid())
        return withColons();
    QString text = url.path(QUrl::FullyDecoded);
    if (!url.host().isEmpty())
        text = url.host(QUrl::FullyDecoded) + u'/' + text;
    QString code;
    const QStringList segments = text.split(u'/', Qt::SkipEmptyParts);
    if (!segments.isEmpty())
        code = cleanedCode(segments.last());
    // A last segment of dots (or nothing usable) names no code: the address
    // is taken as plain text then.
    if (code.isEmpty())
        return withColons();
    logOp(cClass, u"decodeFromUrlString()", QString(QStringLiteral("found embedded code [") + code + QStringLiteral("] inside url..")));
    return code;
}

std::optional<QString> decodeFromUrlString(const QString &payload)
{
    return decodeFromUrlString(payload, Settings::shared().boolValue(cPrefDecodeForUrlString));
}

bool isSafeCode(const QString &code)
{
    if (code.isEmpty() || code.size() > cMaxCodeLength || code.startsWith(u'.') || code.trimmed().isEmpty() || !code.isValidUtf16())
        return false;
    // A stand-in would read back as the character it stands for, so two cards
    // could end up with one code.
    if (holdsWindowsStandIn(code))
        return false;
    return std::none_of(code.cbegin(), code.cend(), [](QChar c) { return c == u'/' || isControlOrLineBreak(c); });
}

bool isSafeFileName(const QString &name)
{
    // NAME_MAX of the file systems a shoot lives on.
    constexpr qsizetype cMaxNameBytes = 255;
    if (name.isEmpty() || name.startsWith(u'.') || !name.isValidUtf16() || name.toUtf8().size() > cMaxNameBytes)
        return false;
    return std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c == u'/' || isControlOrLineBreak(c); });
}

std::optional<QString> payloadRefusal(const QString &payload, bool decodeForUrlString)
{
    const QString code = decodeFromUrlString(payload, decodeForUrlString).value_or(payload);
    if (isSafeCode(code))
        return std::nullopt;
    if (hasInnerControl(payload))
        return QStringLiteral("it holds a control character or line break inside");
    if (code.trimmed().isEmpty())
        return QStringLiteral("it holds no text");
    if (code.size() > cMaxCodeLength)
        return QStringLiteral("it is longer than %1 characters (%2)").arg(cMaxCodeLength).arg(code.size());
    if (!code.isValidUtf16())
        return QStringLiteral("it is not valid text");
    if (holdsWindowsStandIn(code))
        return QStringLiteral("it holds a character that some drives store in place of another");
    return QStringLiteral("it cannot be part of a file name");
}

std::optional<QString> safeCodeFromPayload(const QString &payload, bool decodeForUrlString)
{
    const std::optional<QString> refusal = payloadRefusal(payload, decodeForUrlString);
    if (!refusal)
        return decodeFromUrlString(payload, decodeForUrlString).value_or(payload);
    logOp(cClass, u"safeCodeFromPayload()",
          QString(QStringLiteral("no usable code in the payload [") + printablePayload(payload)
                  + QStringLiteral("] (%1 characters): ").arg(payload.size()) + *refusal));
    return std::nullopt;
}

std::optional<QString> safeCodeFromPayload(const QString &payload)
{
    return safeCodeFromPayload(payload, Settings::shared().boolValue(cPrefDecodeForUrlString));
}

std::optional<QString> payloadRefusal(const QString &payload)
{
    return payloadRefusal(payload, Settings::shared().boolValue(cPrefDecodeForUrlString));
}

QStringList collisionCandidates(const QString &wantedPath)
{
    const QString folder = folderOf(wantedPath);
    const QString extension = extensionOf(wantedPath);
    QString base = baseNameOf(wantedPath);
    const bool isCodePhoto = base.endsWith(cQRCodeMarker);
    if (isCodePhoto)
        base.chop(cQRCodeMarker.size());
    QStringList candidates{wantedPath};
    for (int k = 1; k <= cMaxCollisionSuffix; ++k) {
        QString name = base + u'c' + QString::number(k);
        if (isCodePhoto)
            name += cQRCodeMarker;
        candidates.append(joinPath(folder, withExtension(name, extension)));
    }
    return candidates;
}

std::optional<QString> getUniquePathString(const QString &wantedPath)
{
    for (const QString &candidate : collisionCandidates(wantedPath)) {
        if (!fileops::exists(candidate)) {
            logOp(cClass, u"getUniquePathString()", QString(QStringLiteral("...will return:\n") + candidate));
            return candidate;
        }
    }
    logOp(cClass, u"getUniquePathString()", u"...UNABLE to Form Unique Destination Path????????");
    return std::nullopt;
}

std::optional<QString> makeCodedFileName(const QString &code, const QString &baseName, const QString &extension)
{
    return codedName(code, withExtension(baseName, extension), u"makeCodedFileName()");
}

std::optional<QString> makeCodePhotoFileName(const QString &code, const QString &baseName, const QString &extension)
{
    return codedName(code, withExtension(baseName + cQRCodeMarker, extension), u"makeCodePhotoFileName()");
}

QString cameraBaseName(const QString &fileName, int tag)
{
    // A marker in another letter case comes off too: a new name puts it back
    // in lower case where it belongs.
    QString base = baseNameOf(getOriginalName(fileName, tag));
    if (base.endsWith(cQRCodeMarker, Qt::CaseInsensitive) && base.size() > cQRCodeMarker.size())
        base.chop(cQRCodeMarker.size());
    return base;
}

std::optional<QString> nameWithCode(const QString &fileName, const QString &code, int tag)
{
    if (checkIfQRCodeItem(fileName))
        return cardNameWithCode(fileName, code, tag);
    return makeCodedFileName(code, cameraBaseName(fileName, tag), extensionOf(fileName));
}

std::optional<QString> nameWithCode(const QString &fileName, const QString &code)
{
    return nameWithCode(fileName, code, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

std::optional<QString> cardNameWithCode(const QString &fileName, const QString &code, int tag)
{
    return makeCodePhotoFileName(code, cameraBaseName(fileName, tag), extensionOf(fileName));
}

std::optional<QString> cardNameWithCode(const QString &fileName, const QString &code)
{
    return cardNameWithCode(fileName, code, Settings::shared().intValue(cPrefOriginalNameFormatTag));
}

} // namespace sorrelby
