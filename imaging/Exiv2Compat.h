#pragma once
// The few Exiv2 calls whose names differ between 0.27 (Debian 12, Ubuntu
// 24.04) and 0.28 (Debian 13), chosen by Exiv2's own version macro. Code of
// ours reaches those calls only through here; everything else of Exiv2 reads
// the same in both. Errors: both versions throw classes derived from
// std::exception, which is what callers catch.

#include <QByteArray>

#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace sorrelby::exiv2compat {

using ImagePtr = std::unique_ptr<Exiv2::Image>;

#if EXIV2_TEST_VERSION(0, 28, 0)

inline ImagePtr openImage(const std::string &path)
{
    return Exiv2::ImageFactory::open(path);
}

inline ImagePtr openImage(const Exiv2::byte *data, std::size_t size)
{
    return Exiv2::ImageFactory::open(data, size);
}

inline QByteArray bytesOf(const Exiv2::DataBuf &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.c_data()), qsizetype(buffer.size()));
}

inline std::int64_t intValue(const Exiv2::Exifdatum &datum)
{
    return datum.toInt64();
}

#else

// 0.27 hands images over in a std::auto_ptr, deprecated since C++11: taken
// over here, at the one place that must name it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
inline ImagePtr openImage(const std::string &path)
{
    return ImagePtr(Exiv2::ImageFactory::open(path).release());
}

inline ImagePtr openImage(const Exiv2::byte *data, std::size_t size)
{
    return ImagePtr(Exiv2::ImageFactory::open(data, long(size)).release());
}
#pragma GCC diagnostic pop

inline QByteArray bytesOf(const Exiv2::DataBuf &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.pData_), qsizetype(buffer.size_));
}

inline std::int64_t intValue(const Exiv2::Exifdatum &datum)
{
    return datum.toLong();
}

#endif

inline ImagePtr openImage(const QByteArray &bytes)
{
    return openImage(reinterpret_cast<const Exiv2::byte *>(bytes.constData()), std::size_t(bytes.size()));
}

// The whole content of an image's I/O, e.g. after writeMetadata() on an image
// opened in memory; empty when it cannot be read back.
inline QByteArray contentOf(Exiv2::Image &image)
{
    Exiv2::BasicIo &io = image.io();
    if (io.open() != 0)
        return {};
    io.seek(0, Exiv2::BasicIo::beg);
    QByteArray bytes = bytesOf(io.read(io.size()));
    io.close();
    return bytes;
}

} // namespace sorrelby::exiv2compat
