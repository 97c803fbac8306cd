#pragma once
// Card photos: the busy camera-like picture with one or more white cards
// held up in it, each showing a barcode (QR by default; Data Matrix,
// Code 128 and Code 39 too) drawn from zxing-cpp's writer, or no code at all
// (an unreadable card). Position, size, rotation, mild perspective, blur and
// noise are parameters. Deterministic; safe from any thread (no fonts used).

#include "tests/testkit/photos/PhotoGenerator.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby::testkit {

enum class Symbology { QRCode, DataMatrix, Code128, Code39, PDF417 };

// "qr", "datamatrix", "code128", "code39" (any case); none when unknown.
std::optional<Symbology> symbologyByName(const QString &name);
QString symbologyName(Symbology symbology);

struct CodeSpec {
    QString payload; // empty: a card with no code on it
    Symbology symbology = Symbology::QRCode;
    int side = 0;             // code width in pixels; 0: a quarter of the photo's smaller side
                              // (2-D), 4 px a module and at least 40% of it (1-D)
    QPointF center{0.5, 0.5}; // card centre, relative to the photo size
    double rotation = 0;      // degrees, clockwise
    double perspective = 0;   // 0 (flat) to about 0.3: the far edge is this much shorter
    double bend = 0;          // the card bowed like paper that curls: its middle lies this share
                              // of the code's side off the line through its edges, across and down
};

struct CardPhotoSpec {
    PhotoSpec photo;       // size, seed, quality and Exif
    QList<CodeSpec> codes; // the cards, drawn in order (later ones on top)
    double blur = 0;       // box blur radius over the cards, rounded (1: about a Gaussian of 1.4 px)
    int noise = 6;         // sensor noise amplitude over the cards (0 to 64)
};

// The code's modules: a Format_Grayscale8 image with one pixel per module
// (0 dark, 255 light), no quiet zone; 1-D codes are one pixel high. Null when
// the writer refuses the payload (too long, or characters the symbology lacks).
QImage codeModules(const QString &payload, Symbology symbology);

// A card photo spec with one card showing payload in the photo's centre.
CardPhotoSpec cardPhotoSpec(const QString &payload, const PhotoSpec &photo = {}, Symbology symbology = Symbology::QRCode);

// The i-th of `count` card photos that anyone reads at a glance, varied by i
// alone: codes of 3.6 to 22 % of the short side, any rotation, perspective up
// to 0.15, a light blur on one in three, QR and Data Matrix alternating. The
// recall benchmark's set, and the tests' cards that a step of the search
// alone reads.
CardPhotoSpec glanceCardSpec(int i, int count, const QSize &size, QString *payload = nullptr, int *side = nullptr);

// The payloads zxing-cpp finds in JPEG bytes, in its order, of the symbologies
// Sorrelby reads (see imaging/CodeSymbologies.h), decoded at full
// size or scaled down by 2, 4 or 8 while decoding (try harder, no
// downscaling inside zxing: with that Debian's zxing-cpp 1.4 hits an
// assertion on linear codes and aborts).
QStringList readCodesInJpeg(const QByteArray &jpeg, int scaleDown = 1);

// The width of one of the code's modules in photo pixels as drawn (before
// tilt); 0 for a card without a code or a payload that cannot be encoded.
double moduleSize(const CodeSpec &code, const QSize &photo);

// Whether a card photo reads as exactly `wanted` (empty: no code) at two
// neighbouring scales: full and half size for modules up to 32 px, else the
// first scale down where they are that narrow (at most a quarter) and the
// next; at the larger sizes nothing else may read. See cWidestReadModule in
// CardGenerator.cpp for why.
bool readsAsIntended(const QByteArray &jpeg, const QStringList &wanted, double modulePixels);

// The picture (Format_RGB32); null when a payload cannot be encoded.
QImage renderCardPhoto(const CardPhotoSpec &spec);

// Renders and writes the card photo with its Exif (a RAW-like file for a
// RAW name); false on failure.
bool writeCardPhoto(const QString &path, const CardPhotoSpec &spec);
bool writeCardPhoto(const QString &path, const QString &payload, const PhotoSpec &photo = {}, Symbology symbology = Symbology::QRCode);

} // namespace sorrelby::testkit
