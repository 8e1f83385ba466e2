#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication::setApplicationVersion(QStringLiteral("1.5.3.8"));
    QApplication app(argc, argv);
    return 0;
}
