#include "toolkit/IconSet.h"

#include <QImageReader>
#include <QPainter>

#include <array>

// The resources live in a static library, which needs them registered by
// hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(velmo);
}

namespace {

const char* const ToolBarFiles[ToolBarImageCount] = {
    "previous", "next", "copy-mode", "move-mode", "exit",
    "options",  "help", "delete",    "tree-pane", "button-pane"};

QString IconResource(const char* name) {
    return QStringLiteral(":/velmo/icons/%1.svg").arg(QLatin1String(name));
}

// An SVG resource rendered to pixels. Needs Qt's SVG image-format plug-in;
// without it the image stays transparent and a warning says why.
QImage RenderSvg(const QString& path, QSize pixels) {
    InitIconResources();
    QImageReader reader(path);
    reader.setScaledSize(pixels);
    QImage image = reader.read();
    if (image.isNull()) {
        qWarning("Cannot render %s: %s", qPrintable(path), qPrintable(reader.errorString()));
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Digits 5 units wide and 7 high; '#' is a filled unit. Drawn unit by unit so
// they stay sharp at 16 pixels.
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

} // namespace

QString ToolBarImageResource(int index) {
    if (index < 0 || index >= ToolBarImageCount)
        return QString();
    return IconResource(ToolBarFiles[index]);
}

QIcon ToolBarIcon(int index) {
    const QString path = ToolBarImageResource(index);
    if (path.isEmpty())
        return QIcon();
    InitIconResources();
    return QIcon(path);
}

QImage DrawOutFolderGlyph(int digit, int scale) {
    const QSize pixels(PictureSize * scale, PictureSize * scale);
    QImage image;
    if (digit < 0 || digit > 9) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        image = RenderSvg(IconResource("out-folder"), pixels);
        QPainter p(&image);
        p.scale(scale, scale);
        const auto& rows = Digits[size_t(digit)];
        for (int y = 0; y < int(rows.size()); ++y)
            for (int x = 0; rows[size_t(y)][x]; ++x)
                if (rows[size_t(y)][x] == '#')
                    p.fillRect(QRect(6 + x, 6 + y, 1, 1), Qt::black);
    }
    image.setDevicePixelRatio(scale);
    return image;
}

QIcon OutFolderGlyph(int digit) {
    QIcon icon;
    for (int scale : {1, 2})
        icon.addPixmap(QPixmap::fromImage(DrawOutFolderGlyph(digit, scale)));
    return icon;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : ProgramIconSizes)
        icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

QPixmap ProgramIconPixmap(int size) {
    return QPixmap::fromImage(RenderSvg(IconResource("velmo"), QSize(size, size)));
}
