// Renders the SVG icon into PNGs of the given sizes for the hicolor theme, at build time.
// Usage: velmora-render-icon SVG OUTDIR SIZE... (writes OUTDIR/SIZExSIZE/apps/velmora.png)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // a build machine has no display
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: velmora-render-icon SVG OUTDIR SIZE...\n";
        return 2;
    }
    QSvgRenderer svg(args[0]);
    if (!svg.isValid()) {
        QTextStream(stderr) << "velmora-render-icon: cannot read " << args[0] << "\n";
        return 1;
    }
    for (const QString &s : args.mid(2)) {
        const int size = s.toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            svg.render(&p);
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args[1]).arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/velmora.png"))) {
            QTextStream(stderr) << "velmora-render-icon: cannot write " << dir << "\n";
            return 1;
        }
    }
    return 0;
}
