#include "app/widgets/icons.h"

#include "app/window/command_ids.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace vn {

namespace {

using Drawing = std::function<void(QPainter&)>;

// Draws on a 16 x 16 grid, rendered at each size the icon offers.
QIcon render(const Drawing& draw, std::initializer_list<int> sizes = {16, 32, 48})
{
    QIcon icon;
    for (int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void folder(QPainter& p, QColor body = QColor(0xF2, 0xC1, 0x4E))
{
    p.setPen(QPen(body.darker(150), 0.8));
    p.setBrush(body.darker(115));
    QPainterPath back;
    back.moveTo(1, 3.5);
    back.lineTo(5.5, 3.5);
    back.lineTo(7, 5);
    back.lineTo(14.5, 5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1, 13.5);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(body);
    p.drawRect(QRectF(1, 6.5, 13.5, 7));
}

void letter(QPainter& p, const QString& text, QColor colour, QRectF box)
{
    QFont font;
    font.setPixelSize(int(box.height()));
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

void arrow(QPainter& p, QPointF from, QPointF to, QColor colour)
{
    p.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    QLineF line(to, from);
    QLineF a = line;
    a.setLength(3.5);
    a.setAngle(line.angle() + 35);
    QLineF b = line;
    b.setLength(3.5);
    b.setAngle(line.angle() - 35);
    p.drawLine(a);
    p.drawLine(b);
}

void magnifier(QPainter& p)
{
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.6));
    p.setBrush(QColor(0xCF, 0xE8, 0xFF));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(QPen(QColor(0x6B, 0x42, 0x1E), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
}

void cueSheet(QPainter& p)
{
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 0.8));
    p.setBrush(Qt::white);
    QPainterPath page;
    page.moveTo(2.5, 1);
    page.lineTo(10, 1);
    page.lineTo(13, 4);
    page.lineTo(13, 15);
    page.lineTo(2.5, 15);
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(QPen(QColor(0x70, 0x88, 0xB0), 0.9));
    for (qreal y : {4.0, 6.0, 8.0})
        p.drawLine(QPointF(4, y), QPointF(10.5, y));
    // A disc: the image the sheet describes.
    p.setPen(QPen(QColor(0x50, 0x50, 0x70), 0.7));
    p.setBrush(QColor(0xC8, 0xC8, 0xE8));
    p.drawEllipse(QPointF(9.5, 11.5), 3.3, 3.3);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(9.5, 11.5), 0.9, 0.9);
}

void clock(QPainter& p, QPointF centre, qreal radius)
{
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 0.9));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius, radius);
    p.drawLine(centre, centre + QPointF(0, -radius * 0.7));
    p.drawLine(centre, centre + QPointF(radius * 0.55, 0));
}

} // namespace

QIcon bitmapIcon(int bitmapId)
{
    switch (bitmapId) {
    case BmpBrowseA:
        return render([](QPainter& p) {
            folder(p);
            letter(p, QStringLiteral("A"), QColor(0x1A, 0x4F, 0xB0), QRectF(4, 6.5, 8, 7));
        });
    case BmpBrowseFolderB:
        return render([](QPainter& p) {
            folder(p);
            letter(p, QStringLiteral("B"), QColor(0xB0, 0x2A, 0x1A), QRectF(4, 6.5, 8, 7));
        });
    case BmpBrowseCue:
        return render(cueSheet);
    case BmpBackup:
        return render([](QPainter& p) {
            folder(p, QColor(0xC8, 0xA8, 0x78));
            arrow(p, QPointF(8, 1), QPointF(8, 11.5), QColor(0x1F, 0x7A, 0x2E));
        });
    case BmpOutput:
        return render([](QPainter& p) {
            folder(p, QColor(0x8F, 0xC9, 0x7A));
            arrow(p, QPointF(3, 10), QPointF(13.5, 10), QColor(0x1A, 0x4F, 0xB0));
        });
    case BmpTemp:
        return render([](QPainter& p) {
            folder(p, QColor(0xBF, 0xBF, 0xBF));
            clock(p, QPointF(10.5, 10.5), 4);
        });
    case BmpExplore:
        return render(magnifier);
    default:
        return {};
    }
}

QIcon applicationIcon()
{
    return render(
        [](QPainter& p) {
            // Two discs, A over B, with a note: tags carried from one to the other.
            p.setPen(QPen(QColor(0x33, 0x33, 0x55), 0.6));
            p.setBrush(QColor(0xAF, 0xEE, 0xEE));
            p.drawEllipse(QPointF(10.5, 10.5), 5, 5);
            p.setBrush(QColor(0xFF, 0xE4, 0xC4));
            p.drawEllipse(QPointF(5.5, 5.5), 5, 5);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(5.5, 5.5), 1.2, 1.2);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x1A, 0x3A, 0x80));
            p.drawEllipse(QPointF(9.5, 12.8), 1.6, 1.2);
            p.drawRect(QRectF(10.5, 6.5, 0.9, 6.3));
            p.drawRect(QRectF(10.5, 6.5, 3.2, 1.1));
        },
        {16, 32, 48, 64});
}

} // namespace vn
