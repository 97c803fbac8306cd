// `decode --detect` killed after each of its file-changing steps, then run
// again: the shoot engine's revert and decode lose no photo, leave none
// under two names, and the second run gives every photo the name its card
// says.

#include "tests/testkit/fixtures/DecodeKillSweepScene.h"

using namespace sorrelby::testkit::decodekillsweep;

TEST(DecodeKillSweep, KilledAfterEachRenameTheNextRunFinishesWithEveryPhotoOnce)
{
    ShootSpec spec = shootSpec(2, 2, 1);
    sweepDecode("decode --detect", spec, [](const ShootPhoto &photo) { return photo.captureTime; });
}

// The same when only the photos' capture times tell the order: one file time
// for all and a camera counter that wraps mid-shoot.
TEST(DecodeKillSweep, KilledAfterEachRenameInCaptureOrderWhenFileTimesLie)
{
    ShootSpec spec = shootSpec(2, 2);
    spec.firstFrameNumber = 9998;
    spec.subSecondDigits = 2;
    const QDateTime copied(QDate(2024, 5, 2), QTime(8, 0));
    sweepDecode("decode --detect, file times lying,", spec, [copied](const ShootPhoto &) { return copied; });
}
