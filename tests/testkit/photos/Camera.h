#pragma once
// Camera bodies as the generated photos pretend to come from: make, model,
// serial numbers (body serial and maker-note serial), and how the camera
// names its files. Plain values; safe from any thread.

#include <QString>

namespace sorrelby::testkit {

// How a camera numbers its files.
enum class NameStyle {
    TwoParts, // "<prefix>_0001.JPG" (Nikon "DSC_0001.JPG", Canon "IMG_0001.JPG")
    OnePart,  // "<prefix>00001.JPG" (Sony "DSC00001.JPG")
};

struct CameraSpec {
    QString make;            // Exif.Image.Make
    QString model;           // Exif.Image.Model
    QString bodySerial;      // Exif.Photo.BodySerialNumber; empty: not written
    QString makerNoteSerial; // maker-note serial; empty: no maker note at all
    QString namePrefix = QStringLiteral("DSC");
    NameStyle nameStyle = NameStyle::TwoParts;
    QString extension = QStringLiteral("JPG");
    QString rawExtension = QStringLiteral("NEF"); // of its RAW files: NEF, CR2, ARW

    // True when a maker note is written (only Nikon and Canon makes).
    bool writesMakerNote() const;
    // The camera's file name for a frame number: DSC_0001.JPG, DSC00001.JPG.
    QString fileName(int frameNumber) const;
    // The name of the frame's RAW file: DSC_0001.NEF.
    QString rawFileName(int frameNumber) const;
    // Number of "_"-separated parts of the camera's names (1 or 2).
    int namePartCount() const;
    // The camera key the naming code derives for a photo of this camera
    // named fileName (without a maker note the key falls back to the
    // camera's own name, as when "prefOriginalNameFormatTag" fits it).
    QString expectedCameraKey(const QString &fileName) const;
};

// Typical bodies. Nikon and Canon carry a maker note with the serial; Sony
// carries none (so its key comes from the make and the file name).
CameraSpec nikonCamera(const QString &serial = QStringLiteral("3012345"));
CameraSpec canonCamera(const QString &serial = QStringLiteral("2281012345"));
CameraSpec sonyCamera(const QString &serial = QStringLiteral("4401234"));

// "nikon", "canon" or "sony" (any case); nikonCamera() for anything else
// with ok set to false.
CameraSpec cameraByName(const QString &name, bool *ok = nullptr);

} // namespace sorrelby::testkit
