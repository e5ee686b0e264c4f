#pragma once
// The rewrite of a Matroska/WebM file with new Tags and Attachments elements, in memory.

#include "containers/matroska.h"

namespace vn {

// EBML encodings, shortest form; sizes never use the all-ones values, which mean "unknown".
QByteArray ebmlId(uint32_t id);
QByteArray ebmlSize(uint64_t size);
QByteArray ebmlElement(uint32_t id, QByteArrayView payload);
QByteArray ebmlUInt(uint32_t id, uint64_t value);

// The Tags element: a CRC-32 element, then Tags at target types 50, 30 and 60.
QByteArray buildMatroskaTags(const QStringList& tagTexts, const QString& cdIdentifier);
// The Attachments element holding one cover picture.
QByteArray buildMatroskaAttachments(QByteArrayView picture, const QString& fileName);
// "image/jpeg" for .jpg/.jpeg, else "image/" and the extension (at most 5 characters).
QByteArray coverMediaType(const QString& fileName, QByteArrayView picture);

// Builds the rewritten file from the scanned one. newTags/newAttachments empty: left as they are.
int rewriteMatroska(QByteArray file, const MatroskaScan& scan, const QByteArray& newTags,
                    const QByteArray& newAttachments, QByteArray& output);

} // namespace vn
