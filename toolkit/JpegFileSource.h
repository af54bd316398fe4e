#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdio>

#include <jpeglib.h>

// Reads a file in pieces as libjpeg asks for them and keeps what it read, so
// only the JPEG stream itself comes into memory, never whatever follows it in
// the file. More than half the allocation limit of compressed data is taken
// as the end of the file.
struct TJpegFileSource {
    jpeg_source_mgr Pub;
    int File;
    QByteArray* Kept;
    qsizetype Offset; // of the buffer in Kept
};

// Makes Source the source of Info, reading File and keeping the bytes in Kept.
void UseJpegFileSource(j_decompress_ptr Info, TJpegFileSource& Source, int File, QByteArray& Kept);

// An RGB32 picture to decode into; a null image when memory is short. A large
// picture is placed in memory the kernel may back with huge pages.
QImage AllocateJpegImage(int Width, int Height);
