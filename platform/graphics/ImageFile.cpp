#include "platform/graphics/ImageFile.h"

#include "platform/system/Errors.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace pagimo::graphics {

namespace {

QByteArray Wrap(std::span<const uint8_t> bytes) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

} // namespace

bool TImageFile::Sniff(std::span<const uint8_t> bytes) {
    QByteArray data = Wrap(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.canRead() && reader.size().isValid();
}

void TImageFile::LoadFromBytes(std::span<const uint8_t> bytes) {
    QByteArray data = Wrap(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format.isEmpty()) throw EQRError("Image is not valid: unknown format");
    const QSize size = reader.size();
    if (size.isValid() && int64_t(size.width()) * size.height() > MaxPixels)
        throw EQRError("Image is not valid: " + std::to_string(size.width()) + " x " + std::to_string(size.height()) +
                       " pixels is too large");
    QImage image = reader.read();
    if (image.isNull()) throw EQRError("Image is not valid: " + reader.errorString().toStdString());
    if (int64_t(image.width()) * image.height() > MaxPixels) throw EQRError("Image is not valid: too large");
    FBytes.assign(bytes.begin(), bytes.end());
    FImage = std::move(image);
    FFormat = format.toStdString();
}

} // namespace pagimo::graphics
