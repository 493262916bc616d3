// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MapSheetPainter.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>

namespace pemberlock {
namespace {

constexpr double kPointsPerInch = 72;
constexpr double kMetresPerInch = 0.0254;

QColor Colour(SheetInk ink) {
    switch (ink) {
        case SheetInk::Black: return QColor(0, 0, 0);
        case SheetInk::Grey: return QColor(128, 128, 128);
        case SheetInk::Light: return QColor(230, 230, 230);
    }
    return QColor(0, 0, 0);
}

// The faces the layout allowed for, widest first, as in the SVG.
QFont SheetFont(const SheetText& text, double dotsPerInch) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Verdana"),
                      QStringLiteral("Arial"), QStringLiteral("Helvetica")});
    font.setStyleHint(QFont::SansSerif);
    // The painter is scaled to points, so the font is sized in them.
    font.setPointSizeF(text.size * kPointsPerInch / dotsPerInch);
    font.setBold(text.bold);
    return font;
}

}  // namespace

void PaintMapSheet(QPainter& painter, const MapSheetLayout& layout, double dotsPerInch) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double scale = dotsPerInch / kPointsPerInch;
    painter.scale(scale, scale);
    for (const SheetBox& box : layout.boxes) {
        const QRectF rect(box.x, box.y, box.width, box.height);
        if (box.filled) {
            painter.fillRect(rect, Colour(box.ink));
        } else {
            QPen pen(Colour(box.ink));
            pen.setWidthF(box.lineWidth);
            pen.setJoinStyle(Qt::MiterJoin);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect);
        }
    }
    for (const SheetText& text : layout.texts) {
        const QFont font = SheetFont(text, dotsPerInch);
        painter.setFont(font);
        painter.setPen(Colour(text.ink));
        QString words = QString::fromStdString(text.text);
        const QFontMetricsF metrics(font, painter.device());
        // Should the face found be wider than the layout allowed for, it
        // shortens the text again rather than run over the box.
        if (text.maxWidth > 0 && metrics.horizontalAdvance(words) > text.maxWidth) {
            words = metrics.elidedText(words, Qt::ElideRight, text.maxWidth);
        }
        const double width = metrics.horizontalAdvance(words);
        double x = text.x;
        if (text.align == SheetAlign::Centre) x -= width / 2;
        if (text.align == SheetAlign::Right) x -= width;
        painter.drawText(QPointF(x, text.baseline), words);
    }
    painter.restore();
}

QByteArray MapSheetPdf(const MapSheetLayout& layout) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        const bool landscape = layout.width > layout.height;
        const QSizeF portrait(std::min(layout.width, layout.height),
                              std::max(layout.width, layout.height));
        pdf.setPageLayout(QPageLayout(QPageSize(portrait, QPageSize::Point),
                                      landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF()));
        pdf.setTitle(QStringLiteral("Pemberlock knob controller map"));
        pdf.setCreator(QStringLiteral("Pemberlock"));
        QPainter painter(&pdf);
        PaintMapSheet(painter, layout, pdf.resolution());
    }
    return bytes;
}

QImage MapSheetImage(const MapSheetLayout& layout, int dotsPerInch) {
    const double scale = dotsPerInch / kPointsPerInch;
    QImage image(static_cast<int>(std::lround(layout.width * scale)),
                 static_cast<int>(std::lround(layout.height * scale)), QImage::Format_RGB32);
    const int dotsPerMetre = static_cast<int>(std::lround(dotsPerInch / kMetresPerInch));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintMapSheet(painter, layout, dotsPerInch);
    return image;
}

QByteArray MapSheetPng(const MapSheetLayout& layout, int dotsPerInch) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    MapSheetImage(layout, dotsPerInch).save(&buffer, "PNG");
    return bytes;
}

}  // namespace pemberlock
