// Draws the window picture and the application icon of OnduLofrin and saves
// them as PNG files. Run it again after changing the drawing:
//   build/tools/artwork/ondu_draw_artwork app/resources
// (the icon also at every size the desktop entry's theme needs).
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

const QColor kDeepTeal(12, 70, 88);
const QColor kNightBlue(24, 36, 84);
const QColor kGlow(110, 220, 230);
const QColor kShell(236, 242, 246);

// A headset seen from the front: the strap ends, the visor and two lenses.
void DrawHeadset(QPainter& painter, const QRectF& visor) {
    const qreal h = visor.height();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kShell.darker(125));
    const QRectF strap(visor.left() - h * 0.18, visor.center().y() - h * 0.14,
                       visor.width() + h * 0.36, h * 0.28);
    painter.drawRoundedRect(strap, h * 0.1, h * 0.1);

    painter.setBrush(kShell);
    painter.drawRoundedRect(visor, h * 0.3, h * 0.3);

    const qreal apart = visor.width() * 0.05;
    const QSizeF lens(visor.width() * 0.34, h * 0.5);
    QLinearGradient glass(0, visor.top(), 0, visor.bottom());
    glass.setColorAt(0, kNightBlue.lighter(150));
    glass.setColorAt(1, kNightBlue);
    painter.setBrush(glass);
    const qreal top = visor.center().y() - lens.height() / 2;
    painter.drawRoundedRect(QRectF(QPointF(visor.center().x() - apart - lens.width(), top), lens),
                            h * 0.18, h * 0.18);
    painter.drawRoundedRect(QRectF(QPointF(visor.center().x() + apart, top), lens), h * 0.18,
                            h * 0.18);
}

void DrawPlaySign(QPainter& painter, const QPointF& centre, qreal size, const QColor& colour) {
    QPainterPath triangle;
    triangle.moveTo(centre.x() - size * 0.35, centre.y() - size * 0.45);
    triangle.lineTo(centre.x() + size * 0.5, centre.y());
    triangle.lineTo(centre.x() - size * 0.35, centre.y() + size * 0.45);
    triangle.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(triangle);
}

// Arcs that stand for the broadcast on the local network.
void DrawWaves(QPainter& painter, const QPointF& source, qreal firstRadius, int count) {
    for (int i = 0; i < count; ++i) {
        const qreal r = firstRadius * (1 + i * 0.75);
        QColor colour = kGlow;
        colour.setAlphaF(0.9 - i * 0.2);
        painter.setPen(QPen(colour, firstRadius * 0.28, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(source.x() - r, source.y() - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
    }
}

QImage DrawPicture() {
    QImage image(440, 489, QImage::Format_RGB888);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, kDeepTeal);
    sky.setColorAt(1, kNightBlue);
    painter.fillRect(image.rect(), sky);

    QRadialGradient halo(QPointF(220, 250), 200);
    halo.setColorAt(0, QColor(90, 200, 215, 90));
    halo.setColorAt(1, QColor(90, 200, 215, 0));
    painter.fillRect(image.rect(), halo);

    DrawWaves(painter, QPointF(220, 200), 26, 3);
    DrawHeadset(painter, QRectF(110, 210, 220, 110));

    // A screen below the headset that plays the shared film.
    const QRectF screen(150, 350, 140, 62);
    painter.setPen(QPen(kGlow, 3));
    painter.setBrush(QColor(10, 24, 56));
    painter.drawRoundedRect(screen, 8, 8);
    DrawPlaySign(painter, screen.center(), 34, kGlow);

    QFont title(QStringLiteral("WenQuanYi Zen Hei"));
    title.setPixelSize(40);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(kShell);
    painter.drawText(QRectF(0, 40, image.width(), 50), Qt::AlignCenter,
                     QStringLiteral("OnduLofrin"));
    QFont subtitle = title;
    subtitle.setPixelSize(20);
    subtitle.setBold(false);
    painter.setFont(subtitle);
    painter.setPen(kGlow);
    painter.drawText(QRectF(0, 92, image.width(), 30), Qt::AlignCenter,
                     QStringLiteral("局域网 VR 视频共享"));

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(6, 20, 40), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    return image;
}

// Drawn on a 256-unit grid and scaled, so that every size is drawn afresh
// rather than shrunk from the largest picture.
QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QLinearGradient tile(0, 0, 0, 256);
    tile.setColorAt(0, kDeepTeal.lighter(130));
    tile.setColorAt(1, kNightBlue);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 52, 52);

    DrawWaves(painter, QPointF(128, 98), 20, 3);
    DrawHeadset(painter, QRectF(40, 104, 176, 88));
    DrawPlaySign(painter, QPointF(128, 215), 30, kGlow);
    return image;
}

bool Save(const QImage& image, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ondu_draw_artwork FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    bool saved = Save(DrawPicture(), folder, QStringLiteral("picture.png")) &&
                 Save(DrawIcon(256), folder, QStringLiteral("icon.png"));
    // The smaller sizes of the hicolor theme that desktops and menus ask for;
    // icon.png is the 256 one.
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        saved = saved && Save(DrawIcon(size), folder, QStringLiteral("icon-%1.png").arg(size));
    }
    return saved ? 0 : 1;
}
