#include "platform/linux/ui/icons.h"

#include <QFont>
#include <QIconEngine>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <functional>
#include <map>

namespace valumat::qtui {

namespace {

const QString kEuro = QString(QChar(0x20AC));

// A coin filling `r`: gold face with a light spot, a darker rim, an inner ring and a glyph in the middle.
void drawCoin(QPainter& p, const QRectF& r, const QString& glyph) {
    const qreal d = r.width();
    QRadialGradient face(r.left() + d * 0.35, r.top() + d * 0.3, d * 0.75);
    face.setColorAt(0.0, QColor(255, 244, 170));
    face.setColorAt(0.45, QColor(244, 196, 48));
    face.setColorAt(1.0, QColor(184, 128, 16));
    p.setPen(QPen(QColor(122, 80, 6), qMax(1.0, d / 24.0)));
    p.setBrush(face);
    const qreal rim = qMax(0.5, d / 48.0);
    p.drawEllipse(r.adjusted(rim, rim, -rim, -rim));

    if (d >= 24) {
        p.setPen(QPen(QColor(160, 108, 12, 170), qMax(1.0, d / 40.0)));
        p.setBrush(Qt::NoBrush);
        const qreal inset = d * 0.12;
        p.drawEllipse(r.adjusted(inset, inset, -inset, -inset));
    }

    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(qMax(6, static_cast<int>(d * 0.62)));
    p.setFont(font);
    // A dark copy below and to the right gives the glyph some relief.
    const qreal shift = qMax(0.5, d / 40.0);
    p.setPen(QColor(110, 70, 0));
    p.drawText(r.translated(shift, shift), Qt::AlignCenter, glyph);
    p.setPen(QColor(255, 250, 220));
    p.drawText(r, Qt::AlignCenter, glyph);
}

QPixmap picture(int size, const std::function<void(QPainter&, qreal)>& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p, static_cast<qreal>(size));
    p.end();
    return QPixmap::fromImage(image);
}

// The tab icons are drawn on a 16-unit grid and scaled.
QIcon smallIcon(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        icon.addPixmap(picture(size, [&draw](QPainter& p, qreal s) {
            p.scale(s / 16.0, s / 16.0);
            draw(p);
        }));
    }
    return icon;
}

// A key cap with a letter on it.
void drawKey(QPainter& p) {
    QLinearGradient body(0, 1, 0, 15);
    body.setColorAt(0, QColor(250, 250, 250));
    body.setColorAt(1, QColor(190, 190, 196));
    p.setPen(QPen(QColor(90, 90, 100), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
    p.setPen(QPen(QColor(150, 150, 160), 0.8));
    p.setBrush(QColor(242, 242, 246));
    p.drawRoundedRect(QRectF(3.5, 2.5, 9, 8.5), 1.5, 1.5);
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(8);
    p.setFont(font);
    p.setPen(QColor(40, 40, 60));
    p.drawText(QRectF(3.5, 2.5, 9, 8.5), Qt::AlignCenter, "A");
}

// Two coins, one behind the other.
void drawCoins(QPainter& p) {
    drawCoin(p, QRectF(5, 0.5, 10.5, 10.5), QString());
    drawCoin(p, QRectF(0.5, 4.5, 11, 11), kEuro);
}

// A ticked check box.
void drawOptions(QPainter& p) {
    p.setPen(QPen(QColor(70, 80, 100), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 3.5, 11, 11));
    QPainterPath tick;
    tick.moveTo(3.5, 8.5);
    tick.lineTo(6.5, 11.5);
    tick.lineTo(14.5, 1.5);
    p.setPen(QPen(QColor(20, 140, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

// A blue disc with an "i".
void drawInfo(QPainter& p) {
    QRadialGradient disc(6, 5, 10);
    disc.setColorAt(0, QColor(120, 170, 250));
    disc.setColorAt(1, QColor(20, 70, 180));
    p.setPen(QPen(QColor(15, 50, 130), 1));
    p.setBrush(disc);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7, 3.2, 2.2, 2.2));
    p.drawRoundedRect(QRectF(7, 6.5, 2.2, 6.5), 0.6, 0.6);
}

} // namespace

// The program's icon is drawn at a size only when something shows it at that size: drawing all eight sizes up front
// cost a good part of the start-up.
class CoinIconEngine final : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const int side = qMax(1, qMin(size.width(), size.height()));
        auto it = drawn_.find(side);
        if (it == drawn_.end()) {
            it = drawn_
                     .emplace(side, picture(side, [](QPainter& p, qreal s) { drawCoin(p, QRectF(0, 0, s, s), kEuro); }))
                     .first;
        }
        if (mode == QIcon::Disabled) {
            return QIconEngine::pixmap(size, mode, state);
        }
        return it->second;
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
            sizes.append(QSize(side, side));
        }
        return sizes;
    }
    QIconEngine* clone() const override { return new CoinIconEngine; }

private:
    std::map<int, QPixmap> drawn_;
};

QIcon valumatIcon() {
    static const QIcon icon(new CoinIconEngine);
    return icon;
}

QIcon tabIcon(const std::string& name) {
    if (name == "tab1") {
        return smallIcon(drawKey);
    }
    if (name == "tab2") {
        return smallIcon(drawCoins);
    }
    if (name == "tab3") {
        return smallIcon(drawOptions);
    }
    if (name == "tab4") {
        return smallIcon(drawInfo);
    }
    return {};
}

} // namespace valumat::qtui
