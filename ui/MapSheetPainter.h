// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sheet/MapSheet.h"

#include <QByteArray>
#include <QImage>

class QPainter;

namespace pemberlock {

// Paints the sheet on painter's device, whose resolution is dotsPerInch:
// the layout's points are scaled to it.
void PaintMapSheet(QPainter& painter, const MapSheetLayout& layout, double dotsPerInch);

// The sheet as a one-page PDF document, the page the layout's size.
QByteArray MapSheetPdf(const MapSheetLayout& layout);

// The sheet as an image on white at dotsPerInch (which the image records).
QImage MapSheetImage(const MapSheetLayout& layout, int dotsPerInch = 150);

// That image as PNG file bytes.
QByteArray MapSheetPng(const MapSheetLayout& layout, int dotsPerInch = 150);

}  // namespace pemberlock
