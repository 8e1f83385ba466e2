// Takes the screenshot of the main window that the software-centre metadata shows: the
// window at its first-start size with the demonstration database open and a few subscribers
// unfolded, rendered offscreen so that it looks the same on every machine.
// Usage: QT_QPA_PLATFORM=offscreen ostrovel-screenshot <output.png>
#include "application.h"
#include "qzelkorwindow.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char* argv[])
{
    QTemporaryDir scratch;
    // A settings store of its own, so the picture shows the first-start layout.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
    qputenv("OSTROVEL_EXTRA_PORTS", "/dev/ttyUSB0");
    Application::setIdentity();
    QApplication app(argc, argv);
    Application::initResources();
    // A common desktop size; the offscreen platform's default is larger.
    QFont font = QApplication::font();
    font.setPointSize(10);
    QApplication::setFont(font);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: ostrovel-screenshot <output.png>\n");
        return 2;
    }
    const QString database = scratch.filePath(QStringLiteral("demo.zelkor"));
    if (QProcess::execute(QStringLiteral(DEMODB_PATH), {database}) != 0)
        return 1;

    QZelKorWindow window;
    window.show();
    if (!window.openDB(database))
        return 1;
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("treeView"));
    for (int row = 0; tree && row < 3 && row < tree->topLevelItemCount(); ++row)
        tree->topLevelItem(row)->setExpanded(true);
    if (tree && tree->topLevelItemCount() > 0)
        tree->setCurrentItem(tree->topLevelItem(0));
    // Columns as wide as their texts, as the tree's menu makes them for the focused tree.
    if (tree)
        tree->header()->resizeSections(QHeaderView::ResizeToContents);
    QApplication::processEvents();
    if (!window.grab().save(app.arguments().at(1), "PNG")) {
        std::fprintf(stderr, "ostrovel-screenshot: cannot write %s\n",
                     qPrintable(app.arguments().at(1)));
        return 1;
    }
    return 0;
}
