#pragma once
// The symbologies Sorrelby reads, named one by one so that every zxing-cpp
// version reads the same ones, whatever it adds to its own groups (Micro QR
// apart, see below). The test
// kit checks its generated photos with the same sets.
//
// GS1 DataBar (all three kinds) is left out: it marks retail goods, never a
// subject's card, and zxing-cpp 2.3 reads it in the grain of about one
// card-free photo in three (bench-false-codes). Every symbology kept read
// nothing in those photos with either zxing-cpp version; ITF and Codabar,
// which carry the weakest checks, are the first to drop should that change.

#include "imaging/ZXingCompat.h"

namespace sorrelby {

// zxing-cpp 1.4 aborts the whole process on an assertion while sampling a Micro
// QR code in some pictures (one card-free photo of 10,000 in
// bench-false-codes), so Micro QR is read from 2.0 on only: an abort would
// end a hot folder day, and again on the same photo after each relaunch.
// Subject cards carry full-size QR codes.
inline const ZXing::BarcodeFormats cMatrixFormats = ZXing::BarcodeFormat::QRCode
#if SORRELBY_ZXING_AT_LEAST(2, 0)
    | ZXing::BarcodeFormat::MicroQRCode
#endif
    | ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::Aztec;

// Rows of linear code stacked. zxing-cpp 1.4 looks for them turned as well by
// turning a copy of the whole binarised picture, so the detection leaves them
// out of its reduced and turned looks and reads them in its region reads.
inline const ZXing::BarcodeFormats cStackedFormats = ZXing::BarcodeFormat::PDF417;

inline const ZXing::BarcodeFormats cLinearFormats = ZXing::BarcodeFormat::Code128 | ZXing::BarcodeFormat::Code39
    | ZXing::BarcodeFormat::Code93 | ZXing::BarcodeFormat::EAN13 | ZXing::BarcodeFormat::EAN8 | ZXing::BarcodeFormat::UPCA
    | ZXing::BarcodeFormat::UPCE | ZXing::BarcodeFormat::ITF | ZXing::BarcodeFormat::Codabar;

} // namespace sorrelby
