#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The panel's firmware image: 57344 bytes in 896 blocks of 64, whose last three bytes (the
// trailer) name the device type and the version it is made for. Pure functions over files and
// bytes, shared by the firmware dialogs, their chains and a headless tool.
namespace Firmware {

constexpr int ImageSize = 57344;
constexpr int BlockSize = 64;
constexpr int BlockCount = ImageSize / BlockSize;
constexpr int LastBlock = BlockCount - 1;
constexpr quint8 ZelKorType = 9;

// The resource path of the image carried inside the program.
QString builtInImage();

struct Trailer
{
    quint8 type = 0;
    quint8 major = 0;
    quint8 minor = 0;
};

// Reads an image file (a resource path is accepted) into image. Returns the message to show
// when the file is missing, cannot be opened or is not exactly one image long, else an empty
// string. Never reads more than one byte past an image, whatever the file is.
QString loadImage(const QString& fileName, QByteArray& image);

// The trailer of a complete image; all zeros for anything else.
Trailer trailer(const QByteArray& image);

// "ZEL-KOR 2.6" for an image of the panel's type.
QString versionText(const Trailer& trailer);
// The refusal of an image or a panel of another device type.
QString unsupportedDeviceText(quint8 type);
// The refusal of an image whose type is not the panel's.
QString wrongDeviceText(quint8 imageType, quint8 panelType);

// Request data: the block number (16-bit little-endian) followed, for a write, by the
// block's 64 image bytes.
QByteArray writeBlockData(const QByteArray& image, int block);
QByteArray readBlockData(int block);

// The 64 image bytes a block read answer (the whole frame) carries; empty when the answer
// carries fewer, so a short answer can never be compared or stored as a block.
QByteArray answerBlock(const QByteArray& answer);
// True when the answer carries exactly the image's bytes of that block.
bool blockMatches(const QByteArray& answer, const QByteArray& image, int block);

// The proposed name of a file read out of the panel.
QString fileName(const QDateTime& when, const Trailer& trailer);
// Writes the image to fileName, replacing the file only when all of it was written. Returns
// the message on failure ("Ошибка записи файла: …" with the file's error text), else an empty
// string.
QString saveImage(const QString& fileName, const QByteArray& image);

} // namespace Firmware
