#include "RelayModePicture.h"

#include <QFont>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QtMath>
#include <cmath>

namespace {

// A filled arrow head at `tip`, pointing along `from` → `tip`.
void drawArrowHead(QPainter &p, QPointF from, QPointF tip, qreal size)
{
    const QLineF line(from, tip);
    const qreal angle = std::atan2(-line.dy(), line.dx());
    const QPointF left = tip - QPointF(std::cos(angle - M_PI / 7) * size, -std::sin(angle - M_PI / 7) * size);
    const QPointF right =
        tip - QPointF(std::cos(angle + M_PI / 7) * size, -std::sin(angle + M_PI / 7) * size);
    p.drawPolygon(QPolygonF({tip, left, right}));
}

// A segment of the curve with an arrow in its middle showing the way the
// temperature travels along it.
void drawTravel(QPainter &p, QPointF a, QPointF b, qreal arrowSize, qreal at = 0.5)
{
    p.drawLine(a, b);
    const QPointF mid = a + (b - a) * at;
    const QPointF dir = (b - a) / std::max<qreal>(QLineF(a, b).length(), 1);
    drawArrowHead(p, mid - dir * arrowSize, mid + dir * arrowSize / 2, arrowSize);
}

} // namespace

QString RelayModePicture::fileName(RelayMode mode)
{
    return mode == RelayMode::B ? QStringLiteral("relay_b.bmp") : QStringLiteral("relay_a.bmp");
}

QString RelayModePicture::filePath(const QString &programFolder, RelayMode mode)
{
    return programFolder + QStringLiteral("/imgs/") + fileName(mode);
}

QImage RelayModePicture::draw(RelayMode mode, QSize size)
{
    QImage image(size.expandedTo(QSize(120, 80)), QImage::Format_RGB32);
    image.fill(Qt::white);

    const qreal w = image.width();
    const qreal h = image.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(9, qRound(h / 12)));
    p.setFont(font);
    const qreal textH = font.pixelSize() + 2;

    // Axes: relay output upwards, temperature to the right.
    const qreal left = 40;
    const qreal right = w - 10;
    const qreal top = textH + 8;
    const qreal bottom = h - textH - 8;
    const qreal arrow = std::max<qreal>(5, h / 30);
    const QColor ink(Qt::black);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(ink);
    p.drawLine(QPointF(left, bottom), QPointF(right, bottom));
    drawArrowHead(p, QPointF(left, bottom), QPointF(right, bottom), arrow);
    p.drawLine(QPointF(left, bottom), QPointF(left, top - 4));
    drawArrowHead(p, QPointF(left, bottom), QPointF(left, top - 4), arrow);

    const qreal yNc = top + (bottom - top) * 0.25;
    const qreal yNo = top + (bottom - top) * 0.75;
    const qreal xTl = left + (right - left) * 0.32;
    const qreal xTh = left + (right - left) * 0.64;
    const qreal xStart = left + 6;
    const qreal xEnd = right - arrow - 6;

    p.drawText(QRectF(0, yNc - textH / 2, left - 4, textH), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("C-NC"));
    p.drawText(QRectF(0, yNo - textH / 2, left - 4, textH), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("C-NO"));
    p.drawText(QRectF(xTl - 20, bottom + 3, 40, textH), Qt::AlignCenter, QStringLiteral("TL"));
    p.drawText(QRectF(xTh - 20, bottom + 3, 40, textH), Qt::AlignCenter, QStringLiteral("TH"));
    p.drawText(QRectF(right - 60, bottom - textH - 2, 60, textH), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("T (° C)"));
    p.drawText(QRectF(left + 6, 2, w - left - 12, textH), Qt::AlignLeft | Qt::AlignVCenter,
               mode == RelayMode::B ? QStringLiteral("Mode B") : QStringLiteral("Mode A"));

    // Dashed guides from the switching points down to the temperature axis.
    p.setPen(QPen(Qt::gray, 1, Qt::DashLine));
    p.drawLine(QPointF(xTl, top), QPointF(xTl, bottom));
    p.drawLine(QPointF(xTh, top), QPointF(xTh, bottom));

    // Rising: the level held up to TH; falling: the other level, held down to TL.
    const qreal yRising = mode == RelayMode::B ? yNc : yNo;
    const qreal yFalling = mode == RelayMode::B ? yNo : yNc;
    const QColor curve = mode == RelayMode::B ? QColor(0, 90, 200) : QColor(200, 30, 30);
    p.setPen(QPen(curve, 2.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(curve);
    drawTravel(p, QPointF(xStart, yRising), QPointF(xTh, yRising), arrow, 0.3);
    drawTravel(p, QPointF(xTh, yRising), QPointF(xTh, yFalling), arrow);
    drawTravel(p, QPointF(xEnd, yFalling), QPointF(xTl, yFalling), arrow, 0.2);
    p.drawLine(QPointF(xTh, yFalling), QPointF(xEnd, yFalling));
    drawTravel(p, QPointF(xTl, yFalling), QPointF(xTl, yRising), arrow);
    p.end();
    return image;
}

QImage RelayModePicture::load(const QString &programFolder, RelayMode mode, bool *fromFile)
{
    QImage image(filePath(programFolder, mode));
    const bool found = !image.isNull();
    if (fromFile)
        *fromFile = found;
    // The pictures ship beside the program but are not part of it; without
    // them the mode still shows its curve.
    return found ? image : draw(mode);
}
