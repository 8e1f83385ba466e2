#include "firmwareimage.h"

#include "protocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace Firmware {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("QFirmwareUpload", text);
}

QString hexByte(quint8 value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
}

QByteArray blockNumber(int block)
{
    QByteArray data;
    data.append(char(block & 0xFF));
    data.append(char((block >> 8) & 0xFF));
    return data;
}

} // namespace

QString builtInImage()
{
    return QStringLiteral(":/firmware/zel_kor_1");
}

QString loadImage(const QString& fileName, QByteArray& image)
{
    image.clear();
    if (!QFile::exists(fileName))
        return tr("Файл '%1' отсутствует.").arg(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return tr("Ошбка отрытия файла '%1'.\r\nОшибка: %2.").arg(fileName, file.errorString());
    // One byte more than an image tells a longer file apart, and a huge or endless one
    // (a device, a pipe) costs no more than that.
    image = file.read(ImageSize + 1);
    if (image.size() != ImageSize)
        return tr("Файл '%1' не является файлом прошивки.").arg(fileName);
    return {};
}

Trailer trailer(const QByteArray& image)
{
    Trailer result;
    if (image.size() != ImageSize)
        return result;
    result.type = quint8(image.at(ImageSize - 3));
    result.major = quint8(image.at(ImageSize - 2));
    result.minor = quint8(image.at(ImageSize - 1));
    return result;
}

QString versionText(const Trailer& trailer)
{
    return QStringLiteral("ZEL-KOR %1.%2").arg(trailer.major).arg(trailer.minor);
}

QString unsupportedDeviceText(quint8 type)
{
    return tr("Неподдерживаемое устройство '0x%1'.").arg(hexByte(type));
}

QString wrongDeviceText(quint8 imageType, quint8 panelType)
{
    return tr("Прошивка '0x%1' не для этого типа оборудования '0x%2'.")
        .arg(hexByte(imageType), hexByte(panelType));
}

QByteArray writeBlockData(const QByteArray& image, int block)
{
    Q_ASSERT(image.size() == ImageSize && block >= 0 && block < BlockCount);
    return blockNumber(block) + image.mid(block * BlockSize, BlockSize);
}

QByteArray readBlockData(int block)
{
    return blockNumber(block);
}

QByteArray answerBlock(const QByteArray& answer)
{
    if (answer.size() <= Protocol::OffsetLength)
        return {};
    const int length = quint8(answer.at(Protocol::OffsetLength));
    if (length < BlockSize || answer.size() < Protocol::OffsetData + BlockSize)
        return {};
    return answer.mid(Protocol::OffsetData, BlockSize);
}

bool blockMatches(const QByteArray& answer, const QByteArray& image, int block)
{
    const QByteArray bytes = answerBlock(answer);
    return !bytes.isEmpty() && bytes == image.mid(block * BlockSize, BlockSize);
}

QString fileName(const QDateTime& when, const Trailer& trailer)
{
    return QStringLiteral("zel_kor_%1_%2_%3.bin")
        .arg(when.toString(QStringLiteral("yyyyMMdd_HHmmss")))
        .arg(trailer.major)
        .arg(trailer.minor);
}

namespace {

// The image written into fileName; empty, else the file's error string.
QString writeImage(const QString& fileName, const QByteArray& image)
{
    // Written beside the target and renamed over it at the end, so that a full disk or a
    // refused write leaves an existing file as it was; straight into the file only where no
    // file can be made beside it.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // A short write sets no error; writing the rest brings out the reason (a full disk).
    for (qint64 written = 0; written < image.size();) {
        const qint64 count = file.write(image.constData() + written, image.size() - written);
        if (count <= 0) {
            const QString error = file.errorString();
            file.cancelWriting();
            return error;
        }
        written += count;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace

QString saveImage(const QString& fileName, const QByteArray& image)
{
    const QString error = writeImage(fileName, image);
    return error.isEmpty() ? error
                           : tr("Ошибка записи файла: %1.\r\nОшибка: %2.").arg(fileName, error);
}

} // namespace Firmware
