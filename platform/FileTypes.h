#pragma once
// File types judged by content, standing in for uniform type identifiers.

#include <QString>

namespace sorrelby::filetypes {

// MIME type name of the file, content first ("image/jpeg"); empty when unknown.
QString typeName(const QString &path);
// The type or one of its ancestors is an image type (RAW files by extension).
bool isImage(const QString &path);
// The content-matched type inherits image/jpeg.
bool isJpeg(const QString &path);

} // namespace sorrelby::filetypes
