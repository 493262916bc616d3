// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/MapSheet.h"
#include "sheet/MapSheetSvg.h"
#include "ui/MapSheetPainter.h"

#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// A map whose name and lines hold what XML must escape, and more than ASCII.
pemberlock::MapSheetLayout Sample() {
    pemberlock::MapSheetContent content;
    content.map.SetEntryText(0, "7");
    content.map.SetPrecedence(2);
    content.mapName = "a & <b> \"c\" 'd' Käse☃.mpn";
    content.date = "2026-12-08";
    content.knobLines[0] = {"Osc 1 > Pitch", "Filter & Env"};
    return pemberlock::LayOutMapSheet(content);
}

}  // namespace

class TestMapSheet : public QObject {
    Q_OBJECT

private slots:
    void svgIsWellFormedAndHoldsEveryText();
    void pagesAreA4Landscape_data();
    void pagesAreA4Landscape();
};

void TestMapSheet::svgIsWellFormedAndHoldsEveryText() {
#if QT_CONFIG(xmlstreamreader)
    const pemberlock::MapSheetLayout layout = Sample();
    QXmlStreamReader xml(QByteArray::fromStdString(pemberlock::MapSheetSvg(layout)));
    QStringList texts;
    QString width;
    QString height;
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("svg")) {
            width = xml.attributes().value("width").toString();
            height = xml.attributes().value("height").toString();
        } else if (xml.name() == QLatin1String("text")) {
            texts << xml.readElementText();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(width, QStringLiteral("297mm"));
    QCOMPARE(height, QStringLiteral("210mm"));
    QStringList expected;
    for (const pemberlock::SheetText& text : layout.texts) {
        expected << QString::fromStdString(text.text);
    }
    QCOMPARE(texts, expected);
    QVERIFY(texts.contains(QStringLiteral("a & <b> \"c\" 'd' Käse☃.mpn")));
    QVERIFY(texts.contains(QStringLiteral("Osc 1 > Pitch")));
#else
    QSKIP("This Qt reads no XML");
#endif
}

void TestMapSheet::pagesAreA4Landscape_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("pdf") << "pdf";
    QTest::newRow("png") << "png";
}

void TestMapSheet::pagesAreA4Landscape() {
    QFETCH(QString, kind);
    const pemberlock::MapSheetLayout layout = Sample();
    if (kind == QLatin1String("pdf")) {
        const QByteArray pdf = pemberlock::MapSheetPdf(layout);
        QVERIFY(pdf.startsWith("%PDF-"));
        const QRegularExpressionMatch box =
            QRegularExpression(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"))
                .match(QString::fromLatin1(pdf));
        QVERIFY2(box.hasMatch(), pdf.left(2000).constData());
        QCOMPARE(qRound(box.captured(1).toDouble()), 842);
        QCOMPARE(qRound(box.captured(2).toDouble()), 595);
        QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page "), 1);
    } else {
        const QImage image = QImage::fromData(pemberlock::MapSheetPng(layout), "PNG");
        QCOMPARE(image.size(), QSize(1754, 1240));  // 150 dots per inch
        QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 150);
        // White beyond the margins; the rule under the heading black.
        QCOMPARE(image.pixel(10, 10), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(877, 192), qRgb(0, 0, 0));  // 92 to 93 points down
    }
}

QTEST_MAIN(TestMapSheet)
#include "TestMapSheet.moc"
