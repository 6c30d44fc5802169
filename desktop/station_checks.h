// What the station board tells the operator about a job it is given: why it
// does not start (an image that can't be opened, a checksum that is not the
// expected one, an image larger than the flash), in words that name the file
// as it was typed, and the note shown when an image is cut to the flash.
#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>

// The image was not loaded: the reason in words, then the load's own lines.
QString imageRefusal(const QString& file, const QStringList& loadLines);
QString checksumRefusal(const QString& file, std::uint64_t actual, std::uint64_t expected);

// An image larger than the flash of `sizeIndex` is refused, as `vm612k`
// refuses it, unless `truncate`: then every module gets its first part, and
// the message says so.
struct SizeCheck {
    bool refused = false;
    QString message;  // the refusal or the note; empty when the image fits
};
SizeCheck checkImageSize(const QString& file, std::size_t imageBytes, int sizeIndex, bool truncate);
