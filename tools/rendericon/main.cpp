// Renders the application's SVG icon into the PNG sizes of the icon theme at build time.
// Usage: ostrovel-rendericon <icon.svg> <output folder> <name> <size>...
// writes <output folder>/<size>x<size>/apps/<name>.png for every size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    // A build step has no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: ostrovel-rendericon <icon.svg> <folder> <name> <size>...\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "ostrovel-rendericon: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    for (int i = 4; i < args.size(); ++i) {
        const int size = args.at(i).toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(folder, args.at(3));
        if (size <= 0 || !QDir().mkpath(folder)) {
            std::fprintf(stderr, "ostrovel-rendericon: cannot write %s\n", qPrintable(file));
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "ostrovel-rendericon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
