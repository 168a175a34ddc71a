// Renders the program's SVG icon into the PNG sizes of the desktop's icon theme:
//   RenderIcons <icon.svg> <output folder> <name> <size>...
// writes <output folder>/<size>x<size>/apps/<name>.png for every size, so the PNGs always
// follow the SVG.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

bool Render(QSvgRenderer& svg, const QString& folder, const QString& name, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    const QString dir = QString("%1/%2x%2/apps").arg(folder).arg(size);
    return QDir().mkpath(dir) && image.save(dir + "/" + name + ".png");
}

} // namespace

int main(int argc, char** argv) {
    // Raster painting into an image: no application object and no display needed.
    if (argc < 5) {
        std::fprintf(stderr, "Usage: RenderIcons ICON.svg OUTPUT_FOLDER NAME SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "RenderIcons: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0 || !Render(svg, QString::fromLocal8Bit(argv[2]), argv[3], size)) {
            std::fprintf(stderr, "RenderIcons: cannot write the %s pixel icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
