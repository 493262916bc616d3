// SPDX-License-Identifier: GPL-3.0-or-later
// A map opened from outside the window (the file manager, the command line)
// is loaded as File > Load Map loads one, through the real file system: on
// Windows too, names of any script included.
#include "ScriptedDialogService.h"

#include "ui/FrmDragDrop.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using pemberlock::FrmDragDrop;
using pemberlock::test::ScriptedDialogService;

class TestOpenMap : public QObject {
    Q_OBJECT

private slots:
    void init();
    void loadMapFrom_data();
    void loadMapFrom();
    void saveGoesBackToTheOpenedMap();

private:
    QString Path(const QString& name) const { return dir_->filePath(name); }
    QLineEdit* Box(int knob) const;
    static QByteArray MapText(int first, int precedence);
    static void Write(const QString& path, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScriptedDialogService> dialogs_;
    std::unique_ptr<FrmDragDrop> window_;
};

QByteArray TestOpenMap::MapText(int first, int precedence) {
    QByteArray text;
    for (int i = 0; i < FrmDragDrop::kKnobCount; ++i)
        text += QByteArray::number(first + i) + "\r\n";
    return text + " " + QByteArray::number(precedence) + " \r\n";
}

void TestOpenMap::Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QLineEdit* TestOpenMap::Box(int knob) const {
    return window_->findChild<QLineEdit*>(QStringLiteral("TxtCtrl%1").arg(knob));
}

void TestOpenMap::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dialogs_ = std::make_unique<ScriptedDialogService>();
    window_ = std::make_unique<FrmDragDrop>(*dialogs_);
}

void TestOpenMap::loadMapFrom_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");  // empty: a folder of that name
    QTest::addColumn<bool>("loaded");
    // Beneath the message, after the file's name: the reason, or how it starts
    // (the system's own words follow).
    QTest::addColumn<QString>("reason");

    QTest::newRow("a map") << "studio.mpn" << MapText(11, 1) << true << QString();
    QTest::newRow("a name of several scripts")
        << QStringLiteral("Käse—Σ ☃ map.mpn") << MapText(11, 1) << true << QString();
    QTest::newRow("missing") << "" << QByteArray() << false << "cannot be opened: ";
    QTest::newRow("a folder") << "maps.mpn" << QByteArray() << false << "is a folder";
    QTest::newRow("short") << QStringLiteral("Käse.mpn") << QByteArray("1\r\n2\r\n") << false
                           << "ends after 2 of 19 items";
}

void TestOpenMap::loadMapFrom() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, loaded);
    QFETCH(QString, reason);
    const QString path = Path(name.isEmpty() ? QStringLiteral("gone.mpn") : name);
    if (!content.isEmpty()) {
        Write(path, content);
    } else if (!name.isEmpty()) {
        QVERIFY(QDir().mkdir(path));
    }

    QCOMPARE(window_->LoadMapFrom(path), loaded);
    if (loaded) {
        QVERIFY(dialogs_->messages.isEmpty());
        QCOMPARE(window_->CurrentMapPath(), path);
        QCOMPARE(Box(0)->text(), QStringLiteral("11"));
        QCOMPARE(Box(17)->text(), QStringLiteral("28"));
        QCOMPARE(window_->Map().Precedence(), 1);
    } else {
        // Said, and the defaults kept: knob i has controller 100 + i.
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("Could not load map!")});
        QCOMPARE(dialogs_->details.size(), 1);
        QVERIFY2(
            dialogs_->details[0].startsWith('"' + QDir::toNativeSeparators(path) + "\": " + reason),
            qPrintable(dialogs_->details[0]));
        QVERIFY(window_->CurrentMapPath().isEmpty());
        QCOMPARE(Box(0)->text(), QStringLiteral("101"));
        QCOMPARE(window_->Map().Precedence(), 0);
    }
}

void TestOpenMap::saveGoesBackToTheOpenedMap() {
    const QString path = Path(QStringLiteral("Käse.mpn"));
    Write(path, MapText(11, 0));
    QVERIFY(window_->LoadMapFrom(path));
    // A map that fails afterwards leaves the one loaded, and where it is.
    QVERIFY(!window_->LoadMapFrom(Path(QStringLiteral("gone.mpn"))));
    QCOMPARE(window_->CurrentMapPath(), path);

    QLineEdit* box = Box(0);
    box->setText(QStringLiteral("130"));
    QCOMPARE(box->text(), QStringLiteral("120"));
    window_->findChild<QAction*>(QStringLiteral("MnuSave"))->trigger();
    QVERIFY(dialogs_->requests.empty());  // no dialog: Save knows the file
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), MapText(11, 0).replace("11\r\n", "120\r\n"));
}

QTEST_MAIN(TestOpenMap)
#include "TestOpenMap.moc"
