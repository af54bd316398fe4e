#include "app/Pictures.h"

#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>

// The resources live in the core library; a static library needs them
// registered by hand.
static void InitPictureResources() {
    Q_INIT_RESOURCE(velmo);
}

namespace {

// One palette for every picture.
namespace pal {
const QColor Outline(0x3c, 0x3c, 0x3c);
const QColor FolderLight(0xff, 0xe0, 0x82);
const QColor Folder(0xf6, 0xc3, 0x3b);
const QColor FolderDark(0xd9, 0x9a, 0x16);
const QColor FolderLine(0x9a, 0x6a, 0x08);
const QColor BlueLight(0x7c, 0xb4, 0xff);
const QColor Blue(0x2f, 0x7c, 0xe8);
const QColor BlueLine(0x17, 0x4a, 0x9c);
const QColor Paper(0xff, 0xff, 0xff);
const QColor PaperLine(0x6b, 0x72, 0x80);
const QColor Grey(0xb8, 0xbe, 0xc8);
const QColor GreyDark(0x7d, 0x85, 0x92);
const QColor GreyLine(0x4b, 0x53, 0x60);
const QColor Wood(0xc0, 0x7a, 0x3a);
const QColor WoodLine(0x7a, 0x45, 0x16);
const QColor Spark(0xff, 0x8a, 0x1e);
const QColor SparkLight(0xff, 0xe2, 0x5c);
const QColor SparkLine(0xc2, 0x41, 0x0c);
const QColor Red(0xd9, 0x3b, 0x3b);
const QColor RedLine(0x8f, 0x1d, 0x1d);
const QColor Green(0x5f, 0xb3, 0x4a);
} // namespace pal

// A canvas of 16 x 16 logical units at the given scale. Lines of width 1 are
// drawn on half-unit coordinates so they cover whole pixels at any scale.
struct TCanvas {
    QImage Image;
    QPainter P;
    TCanvas(int logical, int scale)
        : Image(logical * scale, logical * scale, QImage::Format_ARGB32_Premultiplied) {
        Image.fill(Qt::transparent);
        P.begin(&Image);
        P.setRenderHint(QPainter::Antialiasing);
        P.scale(scale, scale);
    }
    QImage Finish(int scale) {
        P.end();
        Image.setDevicePixelRatio(scale);
        return Image;
    }
};

QPen Line(const QColor& c, qreal w = 1.0) {
    QPen pen(c, w);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setCapStyle(Qt::SquareCap);
    return pen;
}

QLinearGradient Vertical(qreal y0, qreal y1, const QColor& top, const QColor& bottom) {
    QLinearGradient g(0, y0, 0, y1);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// Pixel patterns: '#' is a filled unit.
void Pattern(QPainter& p, qreal x, qreal y, std::initializer_list<const char*> rows,
             const QColor& colour) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    qreal yy = y;
    for (const char* row : rows) {
        for (int i = 0; row[i]; ++i)
            if (row[i] == '#')
                p.fillRect(QRectF(x + i, yy, 1, 1), colour);
        yy += 1;
    }
    p.restore();
}

// A folder whose body spans the rectangle; the tab sits on its top left.
// front=false draws only the back (for things going into it).
void Folder(QPainter& p, const QRectF& r, bool withFront = true, bool withBack = true) {
    const qreal tabW = qMax<qreal>(3, r.width() * 0.4);
    const qreal tabH = qMax<qreal>(1.5, r.height() * 0.2);
    if (withBack) {
        QPainterPath back;
        back.moveTo(r.left(), r.bottom());
        back.lineTo(r.left(), r.top());
        back.lineTo(r.left() + tabW - 1, r.top());
        back.lineTo(r.left() + tabW, r.top() + tabH);
        back.lineTo(r.right(), r.top() + tabH);
        back.lineTo(r.right(), r.bottom());
        back.closeSubpath();
        p.setPen(Line(pal::FolderLine));
        p.setBrush(pal::FolderDark);
        p.drawPath(back);
    }
    if (withFront) {
        const QRectF front(r.left(), r.top() + tabH + 1, r.width(), r.height() - tabH - 1);
        p.setPen(Line(pal::FolderLine));
        p.setBrush(Vertical(front.top(), front.bottom(), pal::FolderLight, pal::Folder));
        p.drawRect(front);
    }
}

void ArrowLeft(QPainter& p) {
    QPolygonF a;
    a << QPointF(1.5, 8) << QPointF(7.5, 2) << QPointF(7.5, 5.5) << QPointF(14.5, 5.5)
      << QPointF(14.5, 10.5) << QPointF(7.5, 10.5) << QPointF(7.5, 14);
    p.setPen(Line(pal::BlueLine));
    p.setBrush(Vertical(2, 14, pal::BlueLight, pal::Blue));
    p.drawPolygon(a);
}

void ArrowRight(QPainter& p) {
    p.save();
    p.translate(16, 0);
    p.scale(-1, 1);
    ArrowLeft(p);
    p.restore();
}

void Page(QPainter& p, const QRectF& r) {
    QPainterPath page;
    const qreal fold = 3;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setPen(Line(pal::PaperLine));
    p.setBrush(pal::Paper);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(pal::Grey);
    p.drawPath(corner);
    p.setPen(Line(pal::Grey));
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2)
        p.drawLine(QPointF(r.left() + 2, y),
                   QPointF(r.right() - (y < r.top() + fold + 1 ? fold + 1 : 2), y));
}

void CopyMode(QPainter& p) {
    const QRectF body(1.5, 6.5, 13, 8);
    Folder(p, body, false, true);
    Page(p, QRectF(4.5, 0.5, 8, 11));
    Folder(p, body, true, false);
}

void SparkShape(QPainter& p, QPointF c, qreal r) {
    QPainterPath star;
    for (int i = 0; i < 8; ++i) {
        const qreal len = (i % 2 == 0) ? r : r * 0.38;
        const qreal a = i * M_PI / 4 - M_PI / 2;
        const QPointF pt(c.x() + len * std::cos(a), c.y() + len * std::sin(a));
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    QRadialGradient g(c, r);
    g.setColorAt(0, pal::SparkLight);
    g.setColorAt(1, pal::Spark);
    p.setPen(Line(pal::SparkLine));
    p.setBrush(g);
    p.drawPath(star);
}

void MoveMode(QPainter& p) {
    const QRectF body(1.5, 6.5, 13, 8);
    Folder(p, body, false, true);
    SparkShape(p, QPointF(8.5, 6), 5.5);
    Folder(p, body, true, false);
}

void OpenDoor(QPainter& p) {
    // Frame and the dark opening.
    p.setPen(Line(pal::GreyLine));
    p.setBrush(QColor(0x2a, 0x2f, 0x3a));
    p.drawRect(QRectF(6.5, 1.5, 8, 13));
    // Light falling in through the opening.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xe8, 0x9a));
    QPolygonF light;
    light << QPointF(7, 14) << QPointF(14, 14) << QPointF(14, 12) << QPointF(7, 13.2);
    p.drawPolygon(light);
    // The leaf, swung open towards the viewer.
    QPolygonF leaf;
    leaf << QPointF(6.5, 1.5) << QPointF(2.5, 3.5) << QPointF(2.5, 15.5) << QPointF(6.5, 14.5);
    p.setPen(Line(pal::WoodLine));
    p.setBrush(Vertical(1, 15, pal::Wood.lighter(120), pal::Wood));
    p.drawPolygon(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::SparkLight);
    p.drawEllipse(QPointF(5.2, 9), 0.8, 0.8);
}

void Hammer(QPainter& p) {
    p.save();
    p.translate(8, 8);
    p.rotate(45);
    // Handle.
    p.setPen(Line(pal::WoodLine));
    p.setBrush(Vertical(-2, 9, pal::Wood.lighter(125), pal::Wood));
    p.drawRoundedRect(QRectF(-1.25, -2, 2.5, 10.5), 0.8, 0.8);
    // Head: a flat face on the left, a claw on the right.
    QPainterPath head;
    head.moveTo(-6, -6.5);
    head.lineTo(1.5, -6.5);
    head.lineTo(6, -4.5);
    head.lineTo(1.5, -3.5);
    head.lineTo(1.5, -2);
    head.lineTo(-3, -2);
    head.lineTo(-3, -3);
    head.lineTo(-6, -3);
    head.closeSubpath();
    p.setPen(Line(pal::GreyLine));
    p.setBrush(Vertical(-6.5, -2, pal::Grey.lighter(115), pal::GreyDark));
    p.drawPath(head);
    p.restore();
}

void HelpBook(QPainter& p) {
    // Page edges at the right and bottom, then the cover.
    p.setPen(Line(pal::PaperLine));
    p.setBrush(pal::Paper);
    p.drawRect(QRectF(3.5, 2.5, 10, 12));
    p.setPen(Line(pal::BlueLine));
    p.setBrush(Vertical(1, 14, pal::BlueLight, pal::Blue));
    p.drawRect(QRectF(2.5, 1.5, 10, 12));
    // Spine.
    p.fillRect(QRectF(3, 2, 1.5, 11), pal::BlueLine);
    Pattern(p, 6, 3, {".###.", "#...#", "....#", "..##.", "..#..", ".....", "..#.."}, pal::Paper);
}

void WasteBin(QPainter& p) {
    QPolygonF body;
    body << QPointF(3.5, 4.5) << QPointF(12.5, 4.5) << QPointF(11.5, 15.5) << QPointF(4.5, 15.5);
    p.setPen(Line(pal::GreyLine));
    p.setBrush(Vertical(4, 15, pal::Grey.lighter(112), pal::GreyDark));
    p.drawPolygon(body);
    p.setPen(Line(pal::GreyLine));
    for (qreal x : {6.5, 8.5, 10.5}) {
        const qreal lean = (x - 8.5) * 0.12;
        p.drawLine(QPointF(x, 6.5), QPointF(x - lean, 13.5));
    }
    // Lid and its grip.
    p.setBrush(Vertical(2, 5, pal::Grey.lighter(120), pal::Grey));
    p.drawRect(QRectF(2.5, 2.5, 11, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(6.5, 0.5, 3, 2));
}

void FolderTree(QPainter& p) {
    p.setPen(Line(pal::GreyLine));
    p.drawLine(QPointF(3.5, 5.5), QPointF(3.5, 13.5));
    p.drawLine(QPointF(3.5, 8.5), QPointF(7, 8.5));
    p.drawLine(QPointF(3.5, 13.5), QPointF(7, 13.5));
    Folder(p, QRectF(0.5, 0.5, 7, 5));
    Folder(p, QRectF(7.5, 5.5, 8, 5));
    Folder(p, QRectF(7.5, 10.5, 8, 5));
}

void ButtonBars(QPainter& p) {
    for (qreal y : {2.5, 9.5}) {
        const QRectF bar(1.5, y, 13, 4.5);
        p.setPen(Line(pal::BlueLine));
        p.setBrush(Vertical(bar.top(), bar.bottom(), pal::BlueLight, pal::Blue));
        p.drawRoundedRect(bar, 1.2, 1.2);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawRect(QRectF(3, y + 1.5, 6, 1.5));
    }
}

// Digits 5 units wide and 7 high.
const std::array<std::array<const char*, 7>, 10> Digits = {{
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},
    {"..#..", ".##..", "#.#..", "..#..", "..#..", "..#..", "#####"},
    {".###.", "#...#", "....#", "..##.", ".#...", "#....", "#####"},
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},
}};

void DigitPattern(QPainter& p, qreal x, qreal y, int digit, const QColor& colour) {
    const auto& rows = Digits[static_cast<size_t>(digit)];
    Pattern(p, x, y, {rows[0], rows[1], rows[2], rows[3], rows[4], rows[5], rows[6]}, colour);
}

} // namespace

QImage DrawToolBarImage(int index, int scale) {
    TCanvas c(PictureSize, scale);
    switch (index) {
    case 0:
        ArrowLeft(c.P);
        break;
    case 1:
        ArrowRight(c.P);
        break;
    case 2:
        CopyMode(c.P);
        break;
    case 3:
        MoveMode(c.P);
        break;
    case 4:
        OpenDoor(c.P);
        break;
    case 5:
        Hammer(c.P);
        break;
    case 6:
        HelpBook(c.P);
        break;
    case 7:
        WasteBin(c.P);
        break;
    case 8:
        FolderTree(c.P);
        break;
    case 9:
        ButtonBars(c.P);
        break;
    default:
        break;
    }
    return c.Finish(scale);
}

QImage DrawOutFolderGlyph(int digit, int scale) {
    TCanvas c(PictureSize, scale);
    if (digit >= 0 && digit <= 9) {
        Folder(c.P, QRectF(0.5, 1.5, 15, 13));
        DigitPattern(c.P, 6, 6, digit, Qt::black);
    }
    return c.Finish(scale);
}

namespace {
QIcon TwoScales(QImage (*draw)(int, int), int arg) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(draw(arg, 1)));
    icon.addPixmap(QPixmap::fromImage(draw(arg, 2)));
    return icon;
}
} // namespace

QIcon ToolBarIcon(int index) {
    return TwoScales(DrawToolBarImage, index);
}

QIcon OutFolderGlyph(int digit) {
    return TwoScales(DrawOutFolderGlyph, digit);
}

// The program icon: a photograph slipping into a folder, with a "V" badge.
// Drawn on a 48-unit grid; the smallest size leaves out the fine detail.
QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 48.0;
    p.scale(u, u);
    const bool small = size < 24;
    const qreal lw = small ? 48.0 / size : qMax(1.0, 48.0 / size);

    // Folder back.
    QPainterPath back;
    back.moveTo(3, 44);
    back.lineTo(3, 10);
    back.lineTo(17, 10);
    back.lineTo(20, 14);
    back.lineTo(44, 14);
    back.lineTo(44, 44);
    back.closeSubpath();
    p.setPen(QPen(pal::FolderLine, lw));
    p.setBrush(pal::FolderDark);
    p.drawPath(back);

    // The photograph, tilted, half in the folder.
    p.save();
    p.translate(25, 17);
    p.rotate(-10);
    const QRectF photo(-15, -14, 30, 24);
    p.setPen(QPen(pal::PaperLine, lw));
    p.setBrush(pal::Paper);
    p.drawRect(photo);
    const QRectF view = photo.adjusted(2.5, 2.5, -2.5, -2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(view.top(), view.bottom(), QColor(0x8c, 0xc8, 0xff), pal::BlueLight));
    p.drawRect(view);
    if (!small) {
        p.setBrush(pal::SparkLight);
        p.drawEllipse(QPointF(view.right() - 5, view.top() + 4.5), 2.6, 2.6);
    }
    QPainterPath hills;
    hills.moveTo(view.left(), view.bottom());
    hills.lineTo(view.left(), view.bottom() - 5);
    hills.quadTo(view.left() + 7, view.bottom() - 13, view.left() + 14, view.bottom() - 5);
    hills.quadTo(view.left() + 19, view.bottom() - 10, view.right(), view.bottom() - 4);
    hills.lineTo(view.right(), view.bottom());
    hills.closeSubpath();
    p.setBrush(pal::Green);
    p.drawPath(hills);
    p.restore();

    // Folder front.
    const QRectF front(3, 22, 41, 22);
    p.setPen(QPen(pal::FolderLine, lw));
    p.setBrush(Vertical(front.top(), front.bottom(), pal::FolderLight, pal::Folder));
    p.drawRect(front);

    // The "V" badge.
    const QPointF centre(small ? 35 : 36, small ? 34 : 35);
    const qreal r = small ? 13 : 11.5;
    QRadialGradient g(centre - QPointF(r / 3, r / 3), r * 1.4);
    g.setColorAt(0, pal::Red.lighter(130));
    g.setColorAt(1, pal::Red);
    p.setPen(QPen(pal::RedLine, lw));
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
    QPainterPath v;
    const qreal w = r * 0.62, h = r * 0.58, stroke = small ? r * 0.42 : r * 0.34;
    v.moveTo(centre.x() - w, centre.y() - h);
    v.lineTo(centre.x() - w + stroke, centre.y() - h);
    v.lineTo(centre.x(), centre.y() + h - stroke * 1.15);
    v.lineTo(centre.x() + w - stroke, centre.y() - h);
    v.lineTo(centre.x() + w, centre.y() - h);
    v.lineTo(centre.x() + stroke * 0.45, centre.y() + h);
    v.lineTo(centre.x() - stroke * 0.45, centre.y() + h);
    v.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(v);
    p.end();
    return image;
}

QString ProgramIconResource(int size) {
    return QStringLiteral(":/velmo/icons/velmo-%1.png").arg(size);
}

QIcon ProgramIcon() {
    InitPictureResources();
    QIcon icon;
    for (int size : ProgramIconSizes) {
        const QString path = ProgramIconResource(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
        else // a build without the resources still has an icon
            icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    }
    return icon;
}

QPixmap ProgramIconPixmap(int size) {
    InitPictureResources();
    const QString path = ProgramIconResource(size);
    QPixmap pixmap;
    if (QFile::exists(path) && pixmap.load(path))
        return pixmap;
    return QPixmap::fromImage(DrawProgramIcon(size));
}
