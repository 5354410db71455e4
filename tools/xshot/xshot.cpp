// xshot FILE.png: saves the whole X screen, for looking at the desktop program
// under xvfb-run where no screenshot tool is installed.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: xshot FILE.png\n";
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]))) {
        QTextStream(stderr) << "xshot: the screen could not be saved\n";
        return 1;
    }
    return 0;
}
