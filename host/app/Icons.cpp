#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kSize = 64;  // drawn once at 64 pixels; Qt scales it for toolbars and menus
const QColor kInk(0x30, 0x36, 0x3d);
const QColor kAccent(0x1f, 0x6f, 0xd1);

const char* ThemeName(IconKind kind)
{
    switch (kind) {
    case IconKind::Preview: return "document-preview";
    case IconKind::Scan: return "scanner";
    case IconKind::Cancel: return "process-stop";
    case IconKind::AutoCrop: return "transform-crop";
    case IconKind::CropPhotos: return "transform-crop-and-resize";
    case IconKind::ZoomIn: return "zoom-in";
    case IconKind::ZoomOut: return "zoom-out";
    case IconKind::RotateLeft: return "object-rotate-left";
    case IconKind::RotateRight: return "object-rotate-right";
    case IconKind::MirrorHorizontal: return "object-flip-horizontal";
    case IconKind::MirrorVertical: return "object-flip-vertical";
    case IconKind::ResetOrientation: return "edit-undo";
    case IconKind::Folder: return "folder-open";
    case IconKind::Application: return "scanner";
    }
    return "";
}

void Arrow(QPainter& p, bool bClockwise)
{
    QPainterPath arc;
    const QRectF box(14, 14, 36, 36);
    arc.arcMoveTo(box, bClockwise ? 150 : 30);
    arc.arcTo(box, bClockwise ? 150 : 30, bClockwise ? -240 : 240);
    p.drawPath(arc);
    const QPointF tip = arc.currentPosition();
    const qreal dx = bClockwise ? -1 : 1;
    QPolygonF head{tip + QPointF(10 * dx, -2), tip + QPointF(-2 * dx, -10), tip + QPointF(-4 * dx, 6)};
    p.setBrush(kInk);
    p.drawPolygon(head);
}

void Magnifier(QPainter& p, bool bPlus)
{
    p.drawEllipse(QRectF(10, 10, 32, 32));
    p.drawLine(QPointF(37, 37), QPointF(54, 54));
    p.drawLine(QPointF(18, 26), QPointF(34, 26));
    if (bPlus)
        p.drawLine(QPointF(26, 18), QPointF(26, 34));
}

void Mirror(QPainter& p, bool bHorizontal)
{
    p.save();
    if (!bHorizontal) {
        p.translate(kSize / 2.0, kSize / 2.0);
        p.rotate(90);
        p.translate(-kSize / 2.0, -kSize / 2.0);
    }
    p.setPen(QPen(kAccent, 3, Qt::DashLine));
    p.drawLine(QPointF(32, 6), QPointF(32, 58));
    p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kInk);
    p.drawPolygon(QPolygonF{QPointF(26, 14), QPointF(26, 50), QPointF(6, 50)});
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF{QPointF(38, 14), QPointF(38, 50), QPointF(58, 50)});
    p.restore();
}

void CropMarks(QPainter& p, const QRectF& rc)
{
    const qreal k = rc.width() / 4;
    p.drawLine(rc.topLeft(), rc.topLeft() + QPointF(k, 0));
    p.drawLine(rc.topLeft(), rc.topLeft() + QPointF(0, k));
    p.drawLine(rc.topRight(), rc.topRight() - QPointF(k, 0));
    p.drawLine(rc.topRight(), rc.topRight() + QPointF(0, k));
    p.drawLine(rc.bottomLeft(), rc.bottomLeft() + QPointF(k, 0));
    p.drawLine(rc.bottomLeft(), rc.bottomLeft() - QPointF(0, k));
    p.drawLine(rc.bottomRight(), rc.bottomRight() - QPointF(k, 0));
    p.drawLine(rc.bottomRight(), rc.bottomRight() - QPointF(0, k));
}

void Scanner(QPainter& p)
{
    p.drawRoundedRect(QRectF(6, 26, 52, 26), 4, 4);
    p.drawLine(QPointF(6, 36), QPointF(58, 36));
    p.setPen(QPen(kAccent, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 44), QPointF(50, 44));
    p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(14, 26), QPointF(22, 10));
    p.drawLine(QPointF(22, 10), QPointF(50, 10));
}

void Draw(QPainter& p, IconKind kind)
{
    switch (kind) {
    case IconKind::Preview:
        p.drawRect(QRectF(12, 6, 40, 52));
        p.setPen(QPen(kAccent, 4));
        p.drawEllipse(QRectF(22, 22, 20, 20));
        break;
    case IconKind::Scan:
    case IconKind::Application:
        Scanner(p);
        break;
    case IconKind::Cancel:
        p.setPen(QPen(QColor(0xc0, 0x2b, 0x2b), 6, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(QRectF(8, 8, 48, 48));
        p.drawLine(QPointF(22, 22), QPointF(42, 42));
        p.drawLine(QPointF(42, 22), QPointF(22, 42));
        break;
    case IconKind::AutoCrop:
        CropMarks(p, QRectF(10, 10, 44, 44));
        p.setPen(QPen(kAccent, 4));
        p.drawRect(QRectF(20, 20, 24, 24));
        break;
    case IconKind::CropPhotos:
        CropMarks(p, QRectF(6, 6, 52, 52));
        p.setPen(QPen(kAccent, 4));
        p.drawRect(QRectF(14, 14, 16, 14));
        p.drawRect(QRectF(34, 18, 16, 12));
        p.drawRect(QRectF(18, 36, 26, 16));
        break;
    case IconKind::ZoomIn:
    case IconKind::ZoomOut:
        Magnifier(p, kind == IconKind::ZoomIn);
        break;
    case IconKind::RotateLeft:
    case IconKind::RotateRight:
        Arrow(p, kind == IconKind::RotateRight);
        break;
    case IconKind::MirrorHorizontal:
    case IconKind::MirrorVertical:
        Mirror(p, kind == IconKind::MirrorHorizontal);
        break;
    case IconKind::ResetOrientation:
        Arrow(p, false);
        p.setBrush(kAccent);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(27, 27, 10, 10));
        break;
    case IconKind::Folder:
        p.drawPolygon(QPolygonF{QPointF(6, 16), QPointF(24, 16), QPointF(30, 22), QPointF(58, 22), QPointF(58, 52),
                                QPointF(6, 52)});
        break;
    }
}

}  // namespace

QIcon MakeIcon(IconKind kind)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        Draw(p, kind);
    }
    return QIcon::fromTheme(QString::fromLatin1(ThemeName(kind)), QIcon(pixmap));
}
