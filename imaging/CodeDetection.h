#pragma once
// Finding the code on a card photo. The symbologies read are those of
// imaging/CodeSymbologies.h, the same with every zxing-cpp version: QR,
// Micro QR, Data Matrix, Aztec, PDF417 and the linear codes worth their risk
// of reading noise as a code (GS1 DataBar is not). Results come in reading
// order of their position (lines from the top, left to right within a line);
// the last one decides the photo's code.
//
// Most photos of a shoot show no card, so the default strategy keeps their
// cost near one reduced decode: the picture is decoded at half size, searched
// whole at quarter size for large codes, then only in the regions that look
// like a code (see CodeRegions.h). Whatever looks like a code but was not
// read (a code the reader located, or a light patch of dense texture such as a
// card) is read again at full size, then enlarged two and three times; when
// still nothing is read the whole picture is read at full size, as the
// reference reads it, and the photo is marked a possible card. Ordinary photos
// rarely show such leads, so the extra cost falls on card photos.
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
    Regions,                  // reduced decode, candidate regions, then the closer looks above
    RegionsWithoutEscalation, // the same without enlargements, whole-picture reads or marks (benchmarks)
    Naive,                    // full-size decode, whole picture searched (the reference for benchmarks)
};

struct DetectionOptions {
    DetectionStrategy strategy = DetectionStrategy::Regions;
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
    int regionsSearched = 0;
    int closerLooks = 0;     // code-like regions read again at full size or enlarged
    int fullSizeDecodes = 0; // full-size decodes (the reference, or a closer look)
    double decodeMs = 0;     // processor time spent decoding
    double searchMs = 0;     // processor time spent searching
};

// Encoded picture bytes (JPEG, or any type Qt reads).
DetectionResult detectCodesInData(const QByteArray &bytes, const DetectionOptions &options = {});
// A photo file, RAW files included (see above).
DetectionResult detectCodes(const QString &path, const DetectionOptions &options = {});

} // namespace sorrelby
