#pragma once
// The photo file-name scheme: camera (original) names, coded names
// "<code>_<original base>.<ext>" and card-photo names
// "<code>_<original base>-qrcode.<ext>". The file name is the only place a
// photo's subject is stored. Stateless; safe from any thread. Photos are
// handled as absolute paths (a file name alone works wherever no file is
// touched).

#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

inline constexpr QLatin1StringView cQRCodeMarker{"-qrcode"};
inline constexpr QLatin1StringView cUnknownPrefix{"unknown"};

// P, the number of "_"-separated parts of an original name, for a
// cPrefOriginalNameFormatTag value (the overload without a tag reads it).
int numberOfPartsInOriginal(int tag);
int numberOfPartsInOriginal();

bool checkIfIsOriginal(const QString &nameOrPath, int tag);
bool checkIfIsOriginal(const QString &nameOrPath);

// The original file name (last component only): the last P "_"-pieces of the
// base name without "-qrcode", with the extension. The name comes back as it
// is when it is original, has too few pieces, when the tag is outside 0..2
// (P unknown) or when the recovered base would be empty.
QString getOriginalName(const QString &nameOrPath, int tag);
QString getOriginalName(const QString &nameOrPath);

// Renames the file on disk to its original name (never replacing a file);
// the new path, or none when already original or the rename failed.
std::optional<QString> revertItemToOriginalNew(const QString &path);
std::optional<QString> revertItemToOriginal(const QString &path);

bool checkIfQRCodeItem(const QString &nameOrPath);
bool checkIfUnknownItem(const QString &nameOrPath);

// The one reader of a code from a name: everything in front of the camera
// name, which is the last P "_"-pieces of the base name (the card marker
// and a collision suffix sit inside the last piece), so a code may hold "_"
// itself: SMITH_JOHN_IMG_0412.JPG (tag 1) carries SMITH_JOHN. A name with no
// more pieces than a one-piece code needs (A1234_IMG_0412.JPG, camera names
// such as IMG_0412.JPG, names made under another tag) or a tag outside 0..2
// reads as names always have: its first piece. None when the base name holds
// no "_". Stand-ins of a drive that refuses some characters read as the
// characters they stand for (fromWindowsSafeName). The overload without a tag reads cPrefOriginalNameFormatTag.
std::optional<QString> codeOfName(const QString &nameOrPath, int tag);
std::optional<QString> codeOfName(const QString &nameOrPath);

// The code of a card-photo name (codeOfName; the whole base name when it
// holds no "_"), or none; also none when that text is not a safe code
// (logged): a name already in the folder hands on nothing that would hide or
// spoil the followers' names.
std::optional<QString> doGetQRCodeFromFileName(const QString &path, int tag);
std::optional<QString> doGetQRCodeFromFileName(const QString &path);
// The lower-cased code of a name (codeOfName; the whole base name when it
// holds no "_").
QString getQRCodePartFromString(const QString &path, int tag);
QString getQRCodePartFromString(const QString &path);

// Cleans a decoded payload; none means "use the payload unchanged". With the
// flag a web address gives its last path segment; without it, and for a
// payload with "/" that is no address (or whose last segment is empty, "."
// or ".."), "/" becomes ":". Surrounding white space, control characters and
// leading dots never reach a file name; a control character inside the text
// leaves no code; an empty result means the payload holds no usable code. The overload without the flag reads
// cPrefDecodeForUrlString. Not a code yet: see safeCodeFromPayload.
std::optional<QString> decodeFromUrlString(const QString &payload, bool decodeForUrlString);
std::optional<QString> decodeFromUrlString(const QString &payload);

// The longest code, in UTF-16 code units. It keeps a card-photo name far
// below the 255 bytes a name may have (at most 192 bytes of code in UTF-8).
inline constexpr qsizetype cMaxCodeLength = 64;

// Whether a code is one safe name component in front of a camera name:
// not empty or blank, at most cMaxCodeLength long, no "/", no control
// characters or line breaks, no leading dot (so never "." or ".." and never
// a hidden file), valid UTF-16, and none of the stand-ins that names on FAT,
// exFAT, NTFS and SMB drives carry (holdsWindowsStandIn).
bool isSafeCode(const QString &code);

// Whether a name is one file name in a photo's own folder: not empty, no
// "/", no control characters or line breaks, no leading dot (so never "."
// or ".." and never hidden), at most 255 bytes in UTF-8, valid UTF-16.
bool isSafeFileName(const QString &name);

// The one road from a card's payload to a code: decodeFromUrlString, then
// isSafeCode. None (logged with the payload's text) when no safe code comes
// of it; such a card counts as unread. A payload too long is refused rather
// than cut short, since two cards could then give one code. The overload
// without the flag reads cPrefDecodeForUrlString.
std::optional<QString> safeCodeFromPayload(const QString &payload, bool decodeForUrlString);
std::optional<QString> safeCodeFromPayload(const QString &payload);
// Why a payload gives no safe code ("it is longer than 64 characters (70)"),
// for the log and the commands; none when it gives one.
std::optional<QString> payloadRefusal(const QString &payload, bool decodeForUrlString);
std::optional<QString> payloadRefusal(const QString &payload);

// Text from outside as a log line can show it: control characters (NUL
// would end the line) as \uXXXX.
QString printablePayload(const QString &text);

// The wanted path, or the first of its "c1".."c18" variants that names no
// existing file or folder; none when all are taken.
std::optional<QString> getUniquePathString(const QString &wantedPath);
// The wanted path and its "c1".."c18" variants, in the order tried above.
QStringList collisionCandidates(const QString &wantedPath);

// Names built by the passes that rename photos; none (logged) when the code
// is not a safe code, so no name is ever built around one.
// code + "_" + base + "." + ext (ext may be empty: no dot then).
std::optional<QString> makeCodedFileName(const QString &code, const QString &baseName, const QString &extension);
// code + "_" + base + "-qrcode" + "." + ext.
std::optional<QString> makeCodePhotoFileName(const QString &code, const QString &baseName, const QString &extension);
// The camera's base name of a photo: no code in front, no card marker (in
// any letter case) behind: A1_IMG_0411c1-qrcode.JPG gives IMG_0411c1.
QString cameraBaseName(const QString &fileName, int tag);

// The name a photo gets for a code: the code in front of its camera name
// (a previous code or unknown mark comes off), the card marker kept, so the
// photo carries exactly one code: A1_IMG_0411-qrcode.JPG with B77 gives
// B77_IMG_0411-qrcode.JPG. None when the code is not a safe code.
std::optional<QString> nameWithCode(const QString &fileName, const QString &code, int tag);
std::optional<QString> nameWithCode(const QString &fileName, const QString &code);
// The same, made the code's card photo whatever it was: B77_IMG_0411-qrcode.JPG.
std::optional<QString> cardNameWithCode(const QString &fileName, const QString &code, int tag);
std::optional<QString> cardNameWithCode(const QString &fileName, const QString &code);

// Path helpers that keep the extension's case as found.
QString baseNameOf(const QString &nameOrPath);  // last component without its extension
QString extensionOf(const QString &nameOrPath); // without the dot; "" when none
QString fileNameOf(const QString &nameOrPath);  // last component
QString folderOf(const QString &path);          // containing folder

} // namespace sorrelby
