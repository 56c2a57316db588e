// Renders the application's icon at the sizes of the hicolor theme, for the installed bundle:
//
//   drovane_render_icon ICON.svg OUTPUT_FOLDER SIZE...
//
// writes OUTPUT_FOLDER/<SIZE>x<SIZE>/apps/<ICON>.png. Qt's SVG renderer of this Qt ignores
// clip paths, so the rounded tile is cut out here; desktops that draw the SVG itself honour
// the icon's own clip.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: drovane_render_icon ICON.svg OUTPUT_FOLDER SIZE...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QString name = QFileInfo(svg).completeBaseName();
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "drovane_render_icon: not a size: %s\n", argv[i]);
            return 2;
        }
        QImageReader reader(svg);
        reader.setScaledSize(QSize(size, size));
        QImage image = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            std::fprintf(stderr, "drovane_render_icon: cannot read %s: %s\n", argv[1],
                         qPrintable(reader.errorString()));
            return 1;
        }
        {
            // The tile's rounded corners: 0.22 of the side, as in the SVG.
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::black);
            painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(output).arg(size);
        if (!QDir().mkpath(folder) ||
            !image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "drovane_render_icon: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
