#include "tests/testkit/photos/Camera.h"

#include <QStringList>

namespace sorrelby::testkit {

bool CameraSpec::writesMakerNote() const
{
    if (makerNoteSerial.isEmpty())
        return false;
    return make.startsWith(QLatin1String("NIKON"), Qt::CaseInsensitive) || make.startsWith(QLatin1String("Canon"), Qt::CaseInsensitive);
}

QString CameraSpec::fileName(int frameNumber) const
{
    if (nameStyle == NameStyle::OnePart)
        return namePrefix + QStringLiteral("%1").arg(frameNumber % 100000, 5, 10, QLatin1Char('0')) + QLatin1Char('.') + extension;
    return namePrefix + QStringLiteral("_%1").arg(frameNumber % 10000, 4, 10, QLatin1Char('0')) + QLatin1Char('.') + extension;
}

QString CameraSpec::rawFileName(int frameNumber) const
{
    CameraSpec raw = *this;
    raw.extension = rawExtension;
    return raw.fileName(frameNumber);
}

int CameraSpec::namePartCount() const
{
    return nameStyle == NameStyle::OnePart ? 1 : 2;
}

QString CameraSpec::expectedCameraKey(const QString &name) const
{
    QString serial;
    if (writesMakerNote()) {
        serial = makerNoteSerial;
    } else {
        // Without decoded maker-note tags the key takes the first piece of
        // the camera's name (what is left of a coded name), and only when
        // that name has more than one piece.
        QString base = name.section(QLatin1Char('/'), -1);
        const int dot = base.lastIndexOf(QLatin1Char('.'));
        if (dot > 0)
            base.truncate(dot);
        QStringList pieces = base.split(QLatin1Char('_'));
        if (pieces.size() > namePartCount()) {
            pieces = pieces.mid(pieces.size() - namePartCount());
            if (pieces.last().endsWith(QLatin1String("-qrcode")))
                pieces.last().chop(7);
        }
        if (pieces.size() >= 2)
            serial = pieces.first().trimmed();
    }
    const QString makePart = make.section(QLatin1Char(' '), 0, 0);
    QString key;
    if (!makePart.isEmpty())
        key = makePart + (serial.isEmpty() ? QStringLiteral("xyz") : serial);
    else
        key = serial.isEmpty() ? QStringLiteral("invalid") : QStringLiteral("ven") + serial;
    return key.toUpper();
}

namespace {

CameraSpec body(const char *make, const char *model, const QString &serial, bool makerNote, const char *prefix, NameStyle style,
                const char *rawExtension)
{
    CameraSpec c;
    c.rawExtension = QLatin1String(rawExtension);
    c.make = QLatin1String(make);
    c.model = QLatin1String(model);
    c.bodySerial = serial;
    if (makerNote)
        c.makerNoteSerial = serial;
    c.namePrefix = QLatin1String(prefix);
    c.nameStyle = style;
    return c;
}

} // namespace

CameraSpec nikonCamera(const QString &serial)
{
    return body("NIKON CORPORATION", "NIKON D750", serial, true, "DSC", NameStyle::TwoParts, "NEF");
}

CameraSpec canonCamera(const QString &serial)
{
    return body("Canon", "Canon EOS 5D Mark IV", serial, true, "IMG", NameStyle::TwoParts, "CR2");
}

CameraSpec sonyCamera(const QString &serial)
{
    return body("SONY", "ILCE-7M3", serial, false, "DSC", NameStyle::OnePart, "ARW");
}

CameraSpec cameraByName(const QString &name, bool *ok)
{
    const QString n = name.trimmed().toLower();
    if (ok)
        *ok = true;
    if (n == QLatin1String("canon"))
        return canonCamera();
    if (n == QLatin1String("sony"))
        return sonyCamera();
    if (n != QLatin1String("nikon") && ok)
        *ok = false;
    return nikonCamera();
}

} // namespace sorrelby::testkit
