#pragma once
// Reads QR codes whose module grid bends: a large code printed on paper that
// curls, or seen through a lens that bows straight lines. The reader maps the
// grid from the three finder patterns and one alignment pattern, which holds
// for small codes; a code of 100 or more modules drifts by more than half a
// module between them. Here every alignment pattern is found and each cell
// between four of them is sampled on its own, the modules are drawn again as
// a clean, upright code, and that drawing is read. Pure functions; safe from
// any thread.

#include "imaging/LumaImage.h"

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace sorrelby {

// A finder pattern: its centre and module size, in pixels of the picture read.
struct QrFinder {
    QPointF centre;
    double module = 0;
    int hits = 0; // scan lines that crossed it
};

struct QrGridRead {
    QString text;
    QRectF bounds; // full-size pixels of the picture
    int version = 0;
};

// Finder patterns in `part` of `image`, most often crossed first.
std::vector<QrFinder> findQrFinders(const LumaImage &image, const QRect &part);

// Centres of the alignment patterns along each axis of a code of `version`
// (empty for version 1), in modules from the code's top-left corner.
std::vector<int> qrAlignmentPositions(int version);

// Three finder patterns that stand as a code's corners, in full-size pixels.
struct QrLocation {
    std::array<QPointF, 3> finders; // top left, top right, bottom left
    double module = 0;              // as the scan lines crossed the patterns (turned: up to 1.4 times a module)
    QRectF area;                    // the code with its quiet zone
};

// The codes whose finder patterns show in `part` of `image`. They show in a
// picture reduced until the modules run together, so a reduced picture tells
// cheaply where a finer one is worth sampling. *partly, when given, gets the
// areas (full-size pixels) round two patterns of like size that no third
// completes: reduced, a blurred code loses one to the blur, and a finer
// picture of that area may show all three.
// `small` looks for codes of modules near two pixels: every row is scanned,
// and blur, which widens a small code's patterns, may make a version 1 code
// measure fewer modules between them.
std::vector<QrLocation> locateQrCodes(const LumaImage &image, const QRect &part, std::vector<QRectF> *partly = nullptr, bool small = false);

// The code at `where` (located in another picture of the same photo), read
// by sampling `image`. *confirmed tells, when nothing is read, whether a
// grid through the finder patterns met the timing patterns between them: a
// code is there.
std::optional<QrGridRead> readQrGridAt(const LumaImage &image, const QrLocation &where, bool *confirmed = nullptr);

// The codes read in `part` of `image` by sampling their grids; at most
// `maxTriples` arrangements of finder patterns are tried.
std::vector<QrGridRead> readQrGrids(const LumaImage &image, const QRect &part, int maxTriples = 8);

} // namespace sorrelby
