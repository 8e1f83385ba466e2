// Build step: writes the placeholder firmware image the program carries as its built-in
// firmware. It is no panel program: a notice, then blocks that each start with their own number,
// so that a block written to the wrong place or a lost block shows up when images are compared.
// Usage: ostrovel-makefirmware <output>
#include <QByteArray>
#include <QFile>

#include <cstdio>

namespace {

constexpr int ImageSize = 57344;
constexpr int BlockSize = 64;

QByteArray placeholder()
{
    QByteArray image(ImageSize, '\0');
    for (int i = 0; i < ImageSize; ++i) {
        const int block = i / BlockSize;
        const int offset = i % BlockSize;
        if (offset < 2)
            image[i] = char(offset == 0 ? block & 0xFF : block >> 8);
        else
            image[i] = char((block * 7 + offset * 13) & 0xFF);
    }
    const QByteArray notice("Ostrovel placeholder firmware image: not a panel program.");
    image.replace(0, notice.size(), notice);
    // Trailer: made for the ZEL-KOR panel (device type 9), version 2.6.
    image[ImageSize - 3] = char(9);
    image[ImageSize - 2] = char(2);
    image[ImageSize - 1] = char(6);
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrovel-makefirmware <output>\n");
        return 1;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    const QByteArray image = placeholder();
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.flush()) {
        std::fprintf(stderr, "ostrovel-makefirmware: %s: %s\n", argv[1],
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
