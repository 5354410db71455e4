// phonavo-iconrender: the application icon's PNG sizes for the hicolor theme,
// drawn from its SVG, so the SVG stays the one source of the picture.
//   phonavo-iconrender ICON.svg OUTDIR SIZE...
// writes OUTDIR/<size>x<size>/apps/<name of ICON>.png

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        err << "usage: phonavo-iconrender ICON.svg OUTDIR SIZE...\n";
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        err << "phonavo-iconrender: cannot read " << args.at(1) << '\n';
        return 1;
    }
    const QString name = QFileInfo(args.at(1)).completeBaseName();
    for (const QString& sizeText : args.mid(3)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size <= 0 || size > 1024) {
            err << "phonavo-iconrender: not a size: " << sizeText << '\n';
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        const QString dir = args.at(2) + QStringLiteral("/%1x%1/apps").arg(size);
        const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !image.save(file)) {
            err << "phonavo-iconrender: cannot write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
