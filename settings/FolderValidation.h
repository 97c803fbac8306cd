#pragma once
// Validation of the three folder locations (source, destination, hot folder).
// Each is stored as a path, a folder reference (FolderReference.h) and a
// validity flag, plus a factory path. A request names these settings keys;
// validating it finds a moved folder again (and stores its new path), creates a
// missing folder where that is safe, falls back to the factory folder when no
// path is stored, and stores the result in the validity flag. Requests run one
// at a time (any thread), so two checks of one folder never interleave their
// reads and writes. Alerts go to the main queue.

#include <QString>
#include <QVariantMap>

#include <exception>
#include <optional>

namespace sorrelby {

// Keys of a validation request.
inline constexpr QLatin1StringView cKeyForDestinationPath{"keyForDestinationPath"};
inline constexpr QLatin1StringView cKeyForDestinationPathIsValid{"keyForDestinationPathIsValid"};
inline constexpr QLatin1StringView cKeyForDestinationPathAliasData{"keyForDestinationPathAliasData"};
inline constexpr QLatin1StringView cDefaultFactoryPath{"defaultFactoryPath"};
inline constexpr QLatin1StringView cDoesNotExistKey{"doesNotExistKey"};

// Texts of the path alerts.
inline constexpr QLatin1StringView cUnableToLocatePathMessage{"!!! Unable to Mount/Locate Path !!!"};
inline constexpr QLatin1StringView cSetupMissingPathsText{"\nPlease Setup Preferences for Missing/Invalid Paths:\n\n"};

// Thrown by getValidatedPathFor for a key that names no folder location;
// caught by the path getters, never passed further.
class PreferencesError : public std::exception {
public:
    enum Case { someerror1, someerror2 };
    explicit PreferencesError(Case c)
        : m_case(c)
    { }
    Case which() const { return m_case; }
    const char *what() const noexcept override { return m_case == someerror1 ? "someerror1" : "someerror2"; }

private:
    Case m_case;
};

namespace foldervalidation {

// A request for one folder: its path, validity and reference keys, and the
// factory path when it has one.
QVariantMap makeRequest(const QString &pathKey, const QString &validKey, const QString &aliasKey,
                        const std::optional<QString> &factoryPath = std::nullopt);
// The request for one of the three folders, with the factory path read from
// "<pathKey>Factory" when that setting holds a text.
QVariantMap requestForFolder(const QString &pathKey);

// Validates one request; returns whether the folder is usable now. With
// showFailureAlert the failure alert naming the folder is queued on the main
// queue.
bool validate(const QVariantMap &request, bool showFailureAlert);

// Whether a missing folder at path may be created again: only on a local
// volume, and only when the folder would land on the file system the reference
// recorded (never on the system disk below the mount point of an unplugged
// drive).
bool mayRecreateAt(const QString &path, const QByteArray &reference);

} // namespace foldervalidation
} // namespace sorrelby
