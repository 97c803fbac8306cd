#pragma once
// A generated shoot, decoded, with a roster that has one of everything: a
// photo before the first card, S002 coming back at the end (photographed
// twice), S003 with only a card, S004 left off the roster (not on it) and
// X001 on the roster but never photographed (missing). Subjects S001-S003 are
// in class 3A, S005, S006 and X001 in 3B.

#include "platform/FileOps.h"
#include "tests/testkit/photos/RosterGenerator.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <optional>

namespace sorrelby::testkit {

struct RosterShoot {
    Shoot shoot;
    RosterSpec rosterSpec;
    QList<RosterRow> rows;
    QString rosterPath;
};

inline std::optional<RosterShoot> makeRosterShoot(const QString &folder, const QString &rosterPath)
{
    ShootSpec spec;
    spec.subjects = 6;
    spec.photosPerSubject = 2;
    spec.photosBeforeFirstCard = 1;
    spec.comeBackSubjects = {1};
    spec.cardOnlySubjects = {2};
    RosterShoot made;
    made.rosterSpec.leftOut = {3};
    made.rosterSpec.absent = 1;
    std::optional<Shoot> shoot = writeShoot(folder, spec);
    if (!shoot || !writeRoster(rosterPath, *shoot, made.rosterSpec))
        return std::nullopt;
    // Named as the decode pass names them.
    for (const ShootPhoto &photo : shoot->photos) {
        if (photo.expectedName != photo.fileName
            && !fileops::moveNoReplace(folder + u'/' + photo.fileName, folder + u'/' + photo.expectedName))
            return std::nullopt;
    }
    made.shoot = *shoot;
    made.rows = planRoster(*shoot, made.rosterSpec);
    made.rosterPath = rosterPath;
    return made;
}

} // namespace sorrelby::testkit
