#include "desktop/station_checks.h"

#include <QFileInfo>

#include "app/flash_size.h"
#include "desktop/fill_in.h"
#include "texts/texts.h"

QString imageRefusal(const QString& file, const QStringList& loadLines) {
    const Texts& t = txt();
    QString text = fillIn(QFileInfo::exists(file) ? t.boardImageNotLoaded : t.boardImageMissing, {file});
    if (!loadLines.isEmpty()) text += "\n" + loadLines.join("  ");
    return text;
}

QString checksumRefusal(const QString& file, std::uint64_t actual, std::uint64_t expected) {
    return fillIn(txt().boardChecksumWrong, {file, QString::number(actual, 16).toUpper(),
                                             QString::number(expected, 16).toUpper()});
}

SizeCheck checkImageSize(const QString& file, std::size_t imageBytes, int sizeIndex, bool truncate) {
    const std::uint32_t flash = FlashSizeTable[sizeIndex].size;
    if (imageBytes <= flash) return {};
    const QString label = QString::fromLatin1(FlashSizeTable[sizeIndex].label).simplified();
    const Texts& t = txt();
    if (!truncate)
        return {true, fillIn(t.boardTooLarge, {file, QString::number(imageBytes), label, QString::number(flash)})};
    return {false, fillIn(t.boardTruncating, {file, QString::number(imageBytes), label, QString::number(flash)})};
}
