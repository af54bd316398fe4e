#include "support/JpegWriter.h"

#include <QBuffer>
#include <QDataStream>
#include <QImageWriter>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

QByteArray WriteJpeg(QSize size, const TJpegKind& kind, const TJpegRowFill& fill) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &out, &length);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    cinfo.input_components = kind.Cmyk ? 4 : 3;
    cinfo.in_color_space = kind.Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kind.Quality, TRUE);
    if (!kind.Cmyk)
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = kind.Sampling;
    cinfo.restart_in_rows = kind.RestartRows;
    if (kind.Progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (kind.Orientation != 1) {
        const QByteArray payload = ExifOrientation(kind.Orientation);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(payload.data()),
                          unsigned(payload.size()));
    }
    std::vector<unsigned char> row(size_t(size.width()) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        fill(int(cinfo.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(out), qsizetype(length));
    free(out);
    return result;
}

QByteArray ExifBlock(const QList<std::array<quint32, 3>>& entries, bool motorola) {
    QByteArray tiff;
    QDataStream out(&tiff, QIODevice::WriteOnly);
    out.setByteOrder(motorola ? QDataStream::BigEndian : QDataStream::LittleEndian);
    out.writeRawData(motorola ? "MM" : "II", 2);
    out << quint16(42) << quint32(8) << quint16(entries.size());
    for (const auto& [tag, type, value] : entries) {
        out << quint16(tag) << quint16(type) << quint32(1);
        type == 3 ? out << quint16(value) << quint16(0) : out << value;
    }
    out << quint32(0);
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray ExifTakenBlock(const QByteArray& dateTime, const QByteArray& subSec,
                          const QByteArray& offset, bool motorola) {
    QList<std::pair<quint16, QByteArray>> texts;
    for (const auto& [tag, text] :
         {std::pair<quint16, QByteArray>{0x9003, dateTime}, {0x9011, offset}, {0x9291, subSec}})
        if (!text.isEmpty())
            texts.append({tag, text + '\0'});
    QByteArray tiff;
    QDataStream out(&tiff, QIODevice::WriteOnly);
    out.setByteOrder(motorola ? QDataStream::BigEndian : QDataStream::LittleEndian);
    out.writeRawData(motorola ? "MM" : "II", 2);
    // The first directory at 8 points to the Exif one at 26; the texts follow it.
    out << quint16(42) << quint32(8) << quint16(1) << quint16(0x8769) << quint16(4) << quint32(1)
        << quint32(26) << quint32(0);
    quint32 data = 26 + 2 + 12 * quint32(texts.size()) + 4;
    out << quint16(texts.size());
    for (const auto& [tag, text] : texts) {
        out << tag << quint16(2) << quint32(text.size());
        if (text.size() <= 4)
            out.writeRawData(text.leftJustified(4, '\0').constData(), 4);
        else
            out << data;
        data += text.size() > 4 ? quint32(text.size()) : 0;
    }
    out << quint32(0);
    for (const auto& [tag, text] : texts)
        if (text.size() > 4)
            out.writeRawData(text.constData(), int(text.size()));
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray WithApp1(const QByteArray& jpeg, const QByteArray& payload) {
    const int length = int(payload.size()) + 2;
    const char marker[4] = {char(0xFF), char(0xE1), char(length >> 8), char(length)};
    return jpeg.left(2) + QByteArray(marker, 4) + payload + jpeg.mid(2);
}

QByteArray JpegOf(const QImage& image, int quality, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QImage Gradient(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y,
                         qRgb(x * 255 / qMax(1, size.width() - 1),
                              y * 255 / qMax(1, size.height() - 1), 90));
    return img;
}
