#pragma once
// What differs between zxing-cpp 1.4 (Debian 12) and 2.x (Ubuntu 24.04: 2.2,
// Debian 13: 2.3), chosen by zxing-cpp's own version header. Code of ours
// includes zxing's reader through here only, so that both versions read
// with the same options.

// 1.4's Result::text() is a std::wstring without this; 2.x has UTF-8 only.
#ifndef ZX_USE_UTF8
#define ZX_USE_UTF8
#endif

#if __has_include(<ZXing/Version.h>)
#include <ZXing/Version.h>
#else
#include <ZXing/ZXVersion.h>
#endif

#include <ZXing/ReadBarcode.h>

#define SORRELBY_ZXING_AT_LEAST(major, minor)                                                                                              \
    (ZXING_VERSION_MAJOR > (major) || (ZXING_VERSION_MAJOR == (major) && ZXING_VERSION_MINOR >= (minor)))

namespace sorrelby::zxingcompat {

#if SORRELBY_ZXING_AT_LEAST(2, 2)
using ReaderOptions = ZXing::ReaderOptions;
#else
using ReaderOptions = ZXing::DecodeHints;
#endif

// Options as 1.4 reads by default. 2.x also searches every picture inverted
// (light code on dark ground), which no printed card needs and which gives
// the noise of a photo a second chance to pass for a code.
inline ReaderOptions readerOptions()
{
    ReaderOptions options;
#if SORRELBY_ZXING_AT_LEAST(2, 0)
    options.setTryInvert(false);
#endif
    return options;
}

} // namespace sorrelby::zxingcompat
