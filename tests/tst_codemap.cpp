// The code keeps to its map: the widget-free layer and the simulator include nothing of the
// layers they must not know, and ARCHITECTURE.md names every source file.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <functional>

namespace {

const QString SourceDir = QStringLiteral(OSTROVEL_SOURCE_DIR);

// Qt's modules that need a display (or draw): none of their headers in widget-free code.
const QStringList DrawingModules = {"QtGui",    "QtWidgets",       "QtCharts", "QtPrintSupport",
                                    "QtOpenGL", "QtOpenGLWidgets", "QtSvg",    "QtSvgWidgets"};

QString qtHeaders()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::HeadersPath);
#else
    return QLibraryInfo::location(QLibraryInfo::HeadersPath);
#endif
}

struct Include
{
    int line;
    QString name;
    bool angled;
};

QVector<Include> includesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression include(
        QStringLiteral("^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"));
    QVector<Include> found;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QRegularExpressionMatch match = include.match(QString::fromUtf8(file.readLine()));
        if (match.hasMatch())
            found.append({number, match.captured(2), match.captured(1) == QLatin1String("<")});
    }
    return found;
}

// The Qt header named, as <QtModule/QClass> or <QClass>, when it belongs to a drawing module.
bool isDrawingHeader(const QString& name)
{
    const QString module = name.section(QLatin1Char('/'), 0, 0);
    if (name.contains(QLatin1Char('/')))
        return DrawingModules.contains(module);
    for (const QString& drawing : DrawingModules)
        if (QFileInfo::exists(qtHeaders() + QLatin1Char('/') + drawing + QLatin1Char('/') + name))
            return true;
    return false;
}

QStringList sourcesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(SourceDir + QLatin1Char('/') + folder, {"*.h", "*.cpp"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

QString relative(const QString& path)
{
    return QDir(SourceDir).relativeFilePath(path);
}

} // namespace

class TestCodeMap : public QObject
{
    Q_OBJECT
private slots:
    // The widget-free library (which the CLI links) and the CLI include no drawing header, no
    // form and no header of the window's layer, also through a module prefix that the include
    // path would let through.
    void widgetFreeLayer()
    {
        QFile list(QStringLiteral(OSTROVEL_HEADLESS_LIST));
        QVERIFY(list.open(QIODevice::ReadOnly));
        QStringList headless =
            QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(headless.size() > 50);
        QSet<QString> headlessNames;
        for (const QString& file : headless)
            headlessNames.insert(QFileInfo(file).fileName());
        const QStringList cli = sourcesUnder(QStringLiteral("src/cli"));
        QStringList offences;
        for (const QString& file : headless + cli) {
            const bool ofCli = cli.contains(file);
            for (const Include& include : includesOf(file)) {
                const bool forbidden =
                    include.angled
                        ? isDrawingHeader(include.name)
                        : include.name.startsWith(QLatin1String("ui_")) ||
                              (!headlessNames.contains(include.name) &&
                               !(ofCli &&
                                 QFileInfo::exists(QFileInfo(file).path() + '/' + include.name)));
                if (forbidden)
                    offences.append(QStringLiteral("%1:%2: %3")
                                        .arg(relative(file))
                                        .arg(include.line)
                                        .arg(include.name));
            }
        }
        QVERIFY2(offences.isEmpty(), qPrintable(offences.join(QLatin1Char('\n'))));
    }

    // The simulator is a second reading of the protocol: it includes nothing of the program's.
    void simulatorStandsAlone()
    {
        QStringList offences;
        for (const QString& file : sourcesUnder(QStringLiteral("tools/panelsim"))) {
            for (const Include& include : includesOf(file)) {
                const bool own = QFileInfo::exists(QFileInfo(file).path() + '/' + include.name);
                if ((!include.angled && !own) || (include.angled && isDrawingHeader(include.name)))
                    offences.append(QStringLiteral("%1:%2: %3")
                                        .arg(relative(file))
                                        .arg(include.line)
                                        .arg(include.name));
            }
        }
        QVERIFY2(offences.isEmpty(), qPrintable(offences.join(QLatin1Char('\n'))));
    }

    // No file of the program includes, through others, a file that includes it: the pieces
    // stand in layers, each knowing only those below.
    void noIncludeCircles()
    {
        QMap<QString, QSet<QString>> uses;
        for (const QString& file : sourcesUnder(QStringLiteral("src"))) {
            const QString from = QFileInfo(file).completeBaseName();
            for (const Include& include : includesOf(file)) {
                const QString to = QFileInfo(include.name).completeBaseName();
                if (!include.angled && to != from &&
                    QFileInfo::exists(QFileInfo(file).path() + '/' + include.name))
                    uses[from].insert(to);
            }
        }
        // Depth first; a file met again while still on the path closes a circle.
        QStringList path;
        QSet<QString> done;
        QStringList circles;
        std::function<void(const QString&)> visit = [&](const QString& file) {
            const int at = int(path.indexOf(file));
            if (at >= 0) {
                circles.append((path.mid(at) << file).join(QStringLiteral(" → ")));
                return;
            }
            if (done.contains(file))
                return;
            path.append(file);
            for (const QString& next : uses.value(file))
                visit(next);
            path.removeLast();
            done.insert(file);
        };
        for (const QString& file : uses.keys())
            visit(file);
        QVERIFY2(circles.isEmpty(), qPrintable(circles.join('\n')));
    }

    // Every source file of the program and of the simulator is named in the map, as `name`,
    // `name.h` or `name.cpp`.
    void mapNamesEverySource()
    {
        QFile map(SourceDir + QStringLiteral("/ARCHITECTURE.md"));
        QVERIFY(map.open(QIODevice::ReadOnly));
        QSet<QString> named;
        // Drawings in fenced blocks are no names.
        static const QRegularExpression fenced(QStringLiteral("```.*?```"),
                                               QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression quoted(QStringLiteral("`([^`]+)`"));
        static const QRegularExpression word(QStringLiteral("[A-Za-z0-9_]+"));
        auto quotes = quoted.globalMatch(QString::fromUtf8(map.readAll()).remove(fenced));
        while (quotes.hasNext()) {
            auto words = word.globalMatch(quotes.next().captured(1));
            while (words.hasNext())
                named.insert(words.next().captured());
        }
        QStringList missing;
        for (const QString& file :
             sourcesUnder(QStringLiteral("src")) + sourcesUnder(QStringLiteral("tools/panelsim")))
            if (!named.contains(QFileInfo(file).completeBaseName()))
                missing.append(relative(file));
        missing.removeDuplicates();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("Not in ARCHITECTURE.md:\n") + missing.join('\n')));
    }
};

QTEST_APPLESS_MAIN(TestCodeMap)
#include "tst_codemap.moc"
