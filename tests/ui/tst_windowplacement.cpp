// The one placement rule of every window: what a stored record gives, in twips and in pixels at
// two resolutions, and what goes back to the store.
#include "core/PlacementStore.h"
#include "tests/support/Overrides.h"
#include "ui/WindowPlacement.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;

class WindowPlacementTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void readsWhatIsUsable_data()
    {
        QTest::addColumn<QStringList>("stored"); // left, top, width, height; empty = absent
        QTest::addColumn<QRectF>("twips");
        QTest::addColumn<bool>("anyStored");
        const QRectF d = WindowPlacement::kDefaultTwips;
        QTest::newRow("nothing") << QStringList{"", "", "", ""} << d << false;
        QTest::newRow("plain and padded") << QStringList{"1500", " -300 ", "9000", "7500.5"}
                                          << QRectF(1500, -300, 9000, 7500.5) << true;
        QTest::newRow("decimal comma") << QStringList{"1500,5", "", "", "7500,5"}
                                       << QRectF(1500.5, d.y(), d.width(), 7500.5) << true;
        // A store edited by hand: no number, no size, a size that would not fit a pixel count.
        QTest::newRow("unusable") << QStringList{"abc", "1e300", "0", "-6500"} << d << true;
        QTest::newRow("beyond the limit") << QStringList{"20000000", "", "inf", "nan"} << d << true;
    }
    void readsWhatIsUsable()
    {
        QFETCH(QStringList, stored);
        QFETCH(QRectF, twips);
        QFETCH(bool, anyStored);
        testing::ScopedPlacementRoot store(
            dir_.filePath(QString::fromLatin1(QTest::currentDataTag())));
        const char* keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
        for (int i = 0; i < 4; ++i) {
            if (!stored.at(i).isEmpty())
                PlacementStore::Write(QStringLiteral("App"), QLatin1String(keys[i]), stored.at(i));
        }
        WindowPlacement record(QStringLiteral("App"), WindowPlacement::kDefaultTwips);
        record.read();
        QCOMPARE(record.twips(), twips);
        QCOMPARE(record.stored(), anyStored);
        QVERIFY(!record.maximized());
    }

    // Left and width by the horizontal resolution, top and height by the vertical one; what the
    // window still has goes back as it was read, the rest as the window's own.
    void pixelsAndBack()
    {
        testing::ScopedPlacementRoot store(dir_.filePath(QStringLiteral("back")));
        PlacementStore::Write(QStringLiteral("App"), QStringLiteral("MainLeft"),
                              QStringLiteral("1234.5"));
        PlacementStore::Write(QStringLiteral("App"), QStringLiteral("Maximized"),
                              QStringLiteral("1"));
        WindowPlacement record(QStringLiteral("App"), WindowPlacement::kDefaultTwips);
        record.read();
        QVERIFY(record.maximized());
        const QRect px = record.pixels(96, 192);
        QCOMPARE(px, QRect(82, 133, 433, 867));
        const QRectF back = record.twipsToStore(QRect(82, 133, 433, 900), 96, 192);
        QCOMPARE(back, QRectF(1234.5, 1000, 6500, 6750));
        record.write(back);
        record.writeMaximized(false);
        QCOMPARE(PlacementStore::Read(QStringLiteral("App"), QStringLiteral("MainLeft"), {}),
                 QStringLiteral("1234.5"));
        QCOMPARE(PlacementStore::Read(QStringLiteral("App"), QStringLiteral("MainHeight"), {}),
                 QStringLiteral("6750"));
        QCOMPARE(PlacementStore::Read(QStringLiteral("App"), QStringLiteral("Maximized"), {}),
                 QStringLiteral("0"));
    }
};

QTEST_MAIN(WindowPlacementTest)
#include "tst_windowplacement.moc"
