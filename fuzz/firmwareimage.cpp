// Firmware transfer as the chains see it: any answer to a block read, compared with an image
// whose block holds exactly the bytes the answer carries (so that only the rules can tell a
// short answer apart), and any file offered as an image.
#include "firmwareimage.h"
#include "harness.h"
#include "protocol.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

using namespace Firmware;

// The answer carries a whole block: its length byte says at least 64 and the bytes are there.
bool carriesBlock(const QByteArray& answer)
{
    return answer.size() >= Protocol::OffsetData + BlockSize &&
           quint8(answer.at(Protocol::OffsetLength)) >= BlockSize;
}

void checkAnswer(const QByteArray& answer, int block)
{
    const QByteArray bytes = answerBlock(answer);
    const bool whole = carriesBlock(answer);
    FUZZ_CHECK(bytes.size() == (whole ? BlockSize : 0));
    FUZZ_CHECK(!whole || bytes == answer.mid(Protocol::OffsetData, BlockSize));

    // An image whose block is what the answer carries from its data on, filled up with zeros.
    QByteArray image(ImageSize, '\0');
    const QByteArray carried = answer.mid(Protocol::OffsetData, BlockSize);
    image.replace(block * BlockSize, carried.size(), carried);
    FUZZ_CHECK(blockMatches(answer, image, block) == whole);
    // A short answer matches nothing, not even an image of zeros.
    FUZZ_CHECK(whole || !blockMatches(answer, QByteArray(ImageSize, '\0'), block));
    if (whole) {
        // Any other byte of the block differs.
        const int changed = block * BlockSize + quint8(answer.at(0)) % BlockSize;
        image[changed] = char(image.at(changed) ^ 0x01);
        FUZZ_CHECK(!blockMatches(answer, image, block));
    }
}

// Offers the file to loadImage: taken exactly when it is one image long, and then whole.
void checkFile(const QString& fileName, const QByteArray& content)
{
    QFile file(fileName);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(content) == content.size());
    file.close();
    QByteArray image;
    const QString failure = loadImage(fileName, image);
    if (content.size() != ImageSize) {
        FUZZ_CHECK(!failure.isEmpty() && failure.contains(fileName));
        FUZZ_CHECK(image.size() <= ImageSize + 1);
        return;
    }
    FUZZ_CHECK(failure.isEmpty() && image == content);
    const Trailer read = trailer(image);
    FUZZ_CHECK(read.type == quint8(content.at(ImageSize - 3)) &&
               read.major == quint8(content.at(ImageSize - 2)) &&
               read.minor == quint8(content.at(ImageSize - 1)));
    // The version bytes come from the file or the panel; the name proposed from them must stay
    // a plain file name.
    static const QRegularExpression name(
        QStringLiteral("^zel_kor_\\d{8}_\\d{6}_\\d{1,3}_\\d{1,3}\\.bin$"));
    FUZZ_CHECK(name.match(Firmware::fileName(QDateTime(QDate(2026, 12, 5), QTime(7, 30)), read))
                   .hasMatch());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The block the answer is for, then the answer.
    const int block = (data[0] | data[1] << 8) % BlockCount;
    const ExactBytes answer(data + 2, size - 2);
    checkAnswer(answer.bytes(), block);

    // The file: the input itself, or, when its first byte is odd, the input repeated to about
    // an image's length (57342 to 57346 bytes).
    static const QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    QByteArray content(reinterpret_cast<const char*>(data), int(size));
    if (data[0] % 2) {
        const int length = ImageSize - 2 + data[1] % 5;
        content = content.repeated(length / content.size() + 1).left(length);
    }
    checkFile(folder.filePath(QStringLiteral("image.bin")), content);
    return 0;
}
