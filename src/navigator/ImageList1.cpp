#include "ImageList1.h"

#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int S = 16;

QPixmap canvas()
{
    QPixmap p(S, S);
    p.fill(Qt::transparent);
    return p;
}

void folder(QPainter &g, bool open, const QColor &fill, bool large)
{
    g.setPen(QColor(120, 90, 20));
    g.setBrush(fill.darker(115));
    const int top = large ? 2 : 3;
    g.drawRect(1, top, 5, 2);
    g.drawRect(1, top + 2, 13, large ? 11 : 9);
    if (open) {
        g.setBrush(fill);
        QPolygon front({QPoint(3, top + 5), QPoint(15, top + 5), QPoint(13, top + (large ? 13 : 11)), QPoint(1, top + (large ? 13 : 11))});
        g.drawPolygon(front);
    }
}

void page(QPainter &g, const QColor &paper = Qt::white)
{
    g.setPen(QColor(90, 90, 90));
    g.setBrush(paper);
    g.drawPolygon(QPolygon({QPoint(3, 1), QPoint(10, 1), QPoint(13, 4), QPoint(13, 14), QPoint(3, 14)}));
}

void lines(QPainter &g, const QColor &c, bool ruled)
{
    g.setPen(c);
    for (int y = 5; y <= 12; y += 2)
        g.drawLine(5, y, ruled ? 12 : 10 + (y % 3), y);
    if (ruled) {
        g.setPen(Qt::red);
        g.drawLine(5, 3, 5, 13);
    }
}

void sheetMark(QPainter &g, const QColor &c, bool framed, bool light)
{
    if (framed) {
        g.setPen(Qt::black);
        g.setBrush(Qt::white);
        g.drawRect(0, 0, 15, 15);
    }
    g.setPen(Qt::NoPen);
    g.setBrush(light ? c.lighter(160) : c);
    g.drawRect(2, 2, 12, 12);
    g.setPen(QPen(Qt::white, 2));
    g.drawLine(5, 5, 11, 11);
    g.drawLine(11, 5, 5, 11);
}

void wordMark(QPainter &g, bool light)
{
    g.setPen(Qt::NoPen);
    g.setBrush(light ? QColor(150, 170, 230) : QColor(30, 60, 170));
    g.drawRect(2, 2, 12, 12);
    g.setPen(QPen(Qt::white, 1.5));
    g.drawPolyline(QPolygon({QPoint(4, 5), QPoint(6, 11), QPoint(8, 7), QPoint(10, 11), QPoint(12, 5)}));
}

void bin(QPainter &g, bool full, const QColor &c)
{
    g.setPen(QColor(60, 60, 60));
    g.setBrush(c);
    g.drawPolygon(QPolygon({QPoint(3, 5), QPoint(13, 5), QPoint(12, 15), QPoint(4, 15)}));
    g.drawRect(2, 3, 12, 2);
    if (full) {
        g.setBrush(Qt::white);
        g.drawRect(5, 0, 4, 4);
        g.setBrush(QColor(240, 220, 120));
        g.drawRect(8, 1, 4, 3);
    }
}

void book(QPainter &g, bool open, bool tabs)
{
    g.setPen(QColor(40, 40, 100));
    if (!open) {
        g.setBrush(QColor(60, 80, 170));
        g.drawRect(3, 1, 10, 14);
        g.setBrush(Qt::white);
        g.drawRect(11, 2, 2, 12);
        return;
    }
    g.setBrush(Qt::white);
    g.drawPolygon(QPolygon({QPoint(1, 3), QPoint(8, 5), QPoint(8, 14), QPoint(1, 12)}));
    g.drawPolygon(QPolygon({QPoint(15, 3), QPoint(8, 5), QPoint(8, 14), QPoint(15, 12)}));
    if (tabs) {
        g.setPen(Qt::NoPen);
        const QColor colours[] = {Qt::red, QColor(0, 160, 0), Qt::blue};
        for (int i = 0; i < 3; ++i) {
            g.setBrush(colours[i]);
            g.drawRect(12 + (i % 2), 4 + 3 * i, 3, 2);
        }
    }
}

void binoculars(QPainter &g, bool light)
{
    const QColor c = light ? QColor(150, 150, 150) : QColor(30, 30, 30);
    g.setPen(c);
    g.setBrush(c);
    g.drawEllipse(1, 7, 6, 6);
    g.drawEllipse(9, 7, 6, 6);
    g.drawRect(3, 3, 3, 5);
    g.drawRect(10, 3, 3, 5);
    g.drawRect(6, 5, 4, 3);
}

void magnifier(QPainter &g, int x, int y, int r, const QColor &rim)
{
    g.setPen(QPen(rim, 1.5));
    g.setBrush(QColor(200, 230, 255, 180));
    g.drawEllipse(x, y, r, r);
    g.setPen(QPen(QColor(120, 70, 20), 2.5));
    g.drawLine(x + r - 1, y + r - 1, 15, 15);
}

void envelope(QPainter &g, bool sent, bool coloured)
{
    g.setPen(QColor(80, 80, 80));
    g.setBrush(coloured ? QColor(255, 240, 180) : Qt::white);
    const int x = sent ? 4 : 1;
    g.drawRect(x, 4, 11, 8);
    g.drawPolyline(QPolygon({QPoint(x, 4), QPoint(x + 5, 9), QPoint(x + 11, 4)}));
    if (sent) {
        g.setPen(coloured ? Qt::red : Qt::gray);
        g.drawLine(0, 6, 3, 6);
        g.drawLine(1, 9, 3, 9);
    }
}

QPixmap draw(int index)
{
    QPixmap p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QColor yellow(250, 210, 80), oldYellow(230, 200, 120);
    switch (index) {
    case 1: folder(g, false, oldYellow, false); break;
    case 2: folder(g, true, oldYellow, false); break;
    case 3: page(g); lines(g, Qt::black, false); break;
    case 4: sheetMark(g, QColor(20, 120, 40), true, false); break;
    case 5: page(g); lines(g, QColor(60, 60, 200), true); break;
    case 6: bin(g, true, QColor(170, 190, 210)); break;
    case 7: bin(g, true, QColor(190, 210, 170)); break;
    case 8: book(g, false, false); break;
    case 9: book(g, true, false); break;
    case 10: sheetMark(g, QColor(20, 120, 40), false, false); break;
    case 11: binoculars(g, false); break;
    case 12: page(g); magnifier(g, 3, 3, 9, Qt::black); break;
    case 13: page(g); magnifier(g, 6, 6, 6, Qt::black); break;
    case 14: page(g, QColor(255, 255, 220)); magnifier(g, 6, 6, 6, QColor(0, 0, 150)); break;
    case 15: envelope(g, true, false); break;
    case 16: envelope(g, true, true); break;
    case 17: sheetMark(g, QColor(30, 70, 200), false, false); break;
    case 18:
        page(g);
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(80, 160, 230));
        g.drawRect(5, 6, 6, 4);
        g.setBrush(QColor(40, 150, 40));
        g.drawPolygon(QPolygon({QPoint(5, 12), QPoint(8, 8), QPoint(11, 12)}));
        break;
    case 19: wordMark(g, false); break;
    case 20: sheetMark(g, QColor(40, 170, 60), false, false); break;
    case 21: envelope(g, false, false); break;
    case 22: folder(g, false, yellow, true); break;
    case 23: folder(g, true, yellow, true); break;
    case 24: folder(g, false, yellow, false); break;
    case 25: folder(g, true, yellow, false); break;
    case 26: bin(g, false, QColor(170, 190, 210)); break;
    case 27: wordMark(g, true); break;
    case 28: sheetMark(g, QColor(20, 120, 40), false, true); break;
    case 29: binoculars(g, true); break;
    case 30: book(g, true, true); break;
    case 31: magnifier(g, 1, 1, 9, Qt::black); break;
    default: break;
    }
    return p;
}

const QList<QIcon> &all()
{
    static const QList<QIcon> icons = [] {
        QList<QIcon> list{QIcon()};
        for (int i = 1; i <= ImageList1::Count; ++i)
            list.append(QIcon(draw(i)));
        return list;
    }();
    return icons;
}

QPixmap drawTool(const QString &key)
{
    QPixmap p = canvas();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    if (key == QLatin1String("Exit")) {
        g.setPen(QColor(90, 60, 30));
        g.setBrush(QColor(170, 120, 60));
        g.drawRect(2, 1, 8, 14);
        g.setPen(QPen(Qt::darkRed, 2));
        g.drawLine(8, 8, 15, 8);
        g.drawLine(12, 5, 15, 8);
        g.drawLine(12, 11, 15, 8);
    } else if (key == QLatin1String("keySave")) {
        g.setPen(Qt::black);
        g.setBrush(QColor(40, 60, 140));
        g.drawRect(1, 1, 14, 14);
        g.setBrush(Qt::white);
        g.drawRect(4, 1, 8, 5);
        g.setBrush(QColor(200, 200, 200));
        g.drawRect(4, 9, 8, 6);
    } else if (key == QLatin1String("Cut")) {
        g.setPen(QPen(Qt::black, 1.2));
        g.drawLine(4, 1, 10, 11);
        g.drawLine(12, 1, 6, 11);
        g.setBrush(Qt::NoBrush);
        g.drawEllipse(2, 10, 5, 5);
        g.drawEllipse(9, 10, 5, 5);
    } else if (key == QLatin1String("Copy")) {
        g.setPen(QColor(60, 60, 60));
        g.setBrush(Qt::white);
        g.drawRect(1, 1, 9, 10);
        g.drawRect(6, 5, 9, 10);
    } else if (key == QLatin1String("Paste")) {
        g.setPen(QColor(90, 60, 30));
        g.setBrush(QColor(190, 140, 70));
        g.drawRect(1, 2, 11, 13);
        g.setBrush(Qt::white);
        g.drawRect(6, 6, 9, 9);
        g.setBrush(QColor(120, 120, 120));
        g.drawRect(4, 1, 5, 3);
    } else if (key == QLatin1String("Refresh")) {
        g.setPen(QPen(QColor(20, 130, 40), 2));
        g.drawArc(2, 2, 12, 12, 90 * 16, 270 * 16);
        g.setBrush(QColor(20, 130, 40));
        g.drawPolygon(QPolygon({QPoint(8, 0), QPoint(12, 2), QPoint(8, 5)}));
    } else if (key == QLatin1String("Properties")) {
        page(g);
        g.setPen(QPen(QColor(30, 30, 150), 2));
        g.drawLine(5, 6, 11, 6);
        g.drawLine(5, 9, 11, 9);
        g.drawLine(5, 12, 9, 12);
    } else if (key == QLatin1String("keyHelp")) {
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(30, 90, 200));
        g.drawEllipse(1, 1, 14, 14);
        g.setPen(Qt::white);
        QFont f = g.font();
        f.setBold(true);
        f.setPixelSize(11);
        g.setFont(f);
        g.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
    } else {
        return QPixmap();
    }
    return p;
}

} // namespace

namespace ImageList1 {

QIcon toolbarIcon(const QString &key)
{
    const QPixmap p = drawTool(key);
    return p.isNull() ? QIcon() : QIcon(p);
}


int normalised(int index) { return index >= 1 && index <= Count ? index : 18; }

QIcon icon(int index) { return all().at(normalised(index)); }

} // namespace ImageList1
