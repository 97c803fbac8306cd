#pragma once
// Finding the code on a card photo. The symbologies read are those of
// imaging/CodeSymbologies.h, the same with every zxing-cpp version: QR,
// Micro QR, Data Matrix, Aztec, PDF417 and the linear codes worth their risk
// of reading noise as a code (GS1 DataBar is not). Results come in reading
// order of their position (lines from the top, left to right within a line);
// the last one decides the photo's code.
//
// Most photos of a shoot show no card, so the default strategy keeps their
// cost near one reduced decode. A JPEG's cost is almost all entropy decoding,
// which no scale avoids (24 MP: 77 ms at 1/8, 83 ms at 1/2), so the photo is
// decoded once at half size; a screen of it at 1/8 (1/4 below 5000 px) is
// read whole for codes that fill the frame and searched for patches whose
// pixels differ sharply from their neighbours, as a code's do. Only those
// patches are searched closely at half size, as the region search searches a
// whole picture (see CodeRegions.h). Whatever the reader located but did not
// read is decoded again at full size alone (a strip of rows, columns cut),
// then enlarged two and three times. Patches of dark print in a grid where
// nothing was even located are read once more turned by 45 degrees (the
// detectors miss some plain codes at one angle). A QR code too large or too
// dense for the reader (its grid bends between the corners the reader maps
// it by) shows its finder patterns in the screen: it is sampled cell by cell
// in the half-size picture (imaging/QrGrid.h; smaller photos: found at
// quarter size, sampled at full size), and counts as located when that fails. When still nothing is read
// the whole picture is read at full size, as the reference reads it, and the
// photo is marked a possible card. Photos under 3000 px and other types than JPEG
// take the region search (half-size search of the whole picture) at once.
//
// zxing-cpp 1.4 (Debian 12) aborts the process on an assertion for some
// EAN/UPC pictures when all formats are read with try-harder, try-rotate and
// try-downscale at once. So the 2-D symbologies are read with try-harder and
// try-rotate, and the linear ones in their own pass with try-harder only,
// once as stored and once turned by 90 degrees; the scales are ours.
//
// A file that is not a JPEG (a RAW photo above all: NEF, CR2 and the like,
// which no reader of ours decodes) is read through its largest embedded
// preview when that is larger than what can be decoded of the file itself.
// JPEGs never take that road, so their cost stays one reduced decode.
//
// Stateless; safe from any thread (call initializeMetadataLibrary() first).
// Errors are logged and never thrown.

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QString>

namespace sorrelby {

struct DetectedCode {
    QString text;      // the payload as decoded
    QString symbology; // zxing's name: "QRCode", "DataMatrix", "Code128", ...
    QRectF bounds;     // in full-size pixels of the picture read (the preview's, when read from one)
};

enum class DetectionStrategy {
    Screened,                 // the screen, close looks only where it sees a code (the default)
    Regions,                  // half-size decode of the whole photo, candidate regions, closer looks
    RegionsWithoutEscalation, // the same without enlargements, whole-picture reads or marks (benchmarks)
    Naive,                    // full-size decode, whole picture searched (the reference for benchmarks)
};

struct DetectionOptions {
    DetectionStrategy strategy = DetectionStrategy::Screened;
};

struct DetectionResult {
    bool readable = false;    // false: the file could not be read or decoded
    QString error;            // why, when not readable
    bool fromPreview = false; // read from the file's embedded preview
    QList<DetectedCode> codes;
    // Something code-like was seen but nothing read: an unread card would
    // silently merge its subject with the one before, so callers flag it.
    bool possibleCard = false;
    QString possibleCardWhy;
    QString readBy; // the step that read the first code ("region", "turned", ...)
    int regionsSearched = 0;
    int closerLooks = 0;      // code-like regions read again at full size or enlarged
    int fullSizeDecodes = 0;  // full-size decodes (the reference, or a closer look)
    double decodeMs = 0;      // processor time spent decoding
    double closeDecodeMs = 0; // of which decoding parts of the photo for a closer look
    double screenMs = 0;      // processor time spent searching the screen
    double searchMs = 0;      // processor time spent searching otherwise (the closer looks)
};

// Encoded picture bytes (JPEG, or any type Qt reads).
DetectionResult detectCodesInData(const QByteArray &bytes, const DetectionOptions &options = {});
// A photo file, RAW files included (see above).
DetectionResult detectCodes(const QString &path, const DetectionOptions &options = {});

} // namespace sorrelby
