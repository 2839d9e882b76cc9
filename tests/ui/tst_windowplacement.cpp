// The one placement rule of every window: what a stored record gives, in twips and in pixels at
// two resolutions, and what goes back to the store; where a window opens with nothing stored,
// and how a new child window joins a frame whose active window is maximized.
#include "core/PlacementStore.h"
#include "core/Twips.h"
#include "tests/support/Overrides.h"
#include "ui/WindowPlacement.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
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

    void firstStartOfTheMainWindow_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("atLeast");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("most of the screen, centred")
            << QRect(0, 0, 1600, 1000) << QSize(640, 560) << QRect(80, 50, 1440, 900);
        QTest::newRow("below a panel")
            << QRect(0, 30, 1600, 970) << QSize(640, 560) << QRect(80, 78, 1440, 873);
        QTest::newRow("a small screen still holds the bars")
            << QRect(0, 0, 640, 480) << QSize(620, 520) << QRect(10, 0, 620, 480);
    }
    void firstStartOfTheMainWindow()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, atLeast);
        QFETCH(QRect, expected);
        QCOMPARE(FirstStartMainGeometry(available, atLeast), expected);
    }

    void firstStartOfAChildWindow_data()
    {
        QTest::addColumn<QSize>("wanted");
        QTest::addColumn<QSize>("least");
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<QRect>("expected");
        const QSize least(500, 520);
        QTest::newRow("fits where it is")
            << QSize(800, 600) << least << QPoint(67, 67) << QRect(67, 67, 800, 600);
        QTest::newRow("moved up and left to be seen whole")
            << QSize(800, 600) << least << QPoint(500, 300) << QRect(400, 200, 800, 600);
        QTest::newRow("no larger than the area")
            << QSize(1600, 900) << least << QPoint(67, 67) << QRect(0, 0, 1200, 800);
        QTest::newRow("never smaller than it can be")
            << QSize(800, 600) << QSize(500, 900) << QPoint(67, 67) << QRect(67, 0, 800, 900);
    }
    void firstStartOfAChildWindow()
    {
        QFETCH(QSize, wanted);
        QFETCH(QSize, least);
        QFETCH(QPoint, place);
        QFETCH(QRect, expected);
        QCOMPARE(FirstStartChildGeometry(wanted, least, QSize(1200, 800), place), expected);
    }

    // In a real area: a new window opens whole at its first-start place, cascaded from the
    // active one; while the active one is maximized the new one opens maximized, goes back to
    // its first-start place when restored, and the frame's others keep their places. A stored
    // record then places the frame; a record with nothing stored leaves it.
    void newChildWindowsInAFrame()
    {
        testing::ScopedPlacementRoot store(dir_.filePath(QStringLiteral("frame")));
        QMdiArea area;
        area.resize(1000, 700);
        area.show();
        const QSize viewport = area.viewport()->size();
        const auto window = [](int w, int h) {
            auto* label = new QLabel(QStringLiteral("child"));
            label->setMinimumSize(w / 2, h / 2);
            label->resize(w, h);
            return label;
        };
        QMdiSubWindow* first = ShowNewChildWindow(area, window(600, 400));
        QCOMPARE(area.currentSubWindow(), first);
        QVERIFY(QRect(QPoint(), viewport).contains(first->geometry()));
        QCOMPARE(first->pos(), QPoint(67, 67));
        QMdiSubWindow* second = ShowNewChildWindow(area, window(600, 400));
        QVERIFY(second->x() > first->x() && second->y() > first->y());
        QVERIFY(QRect(QPoint(), viewport).contains(second->geometry()));

        const QRect firstPlace = first->geometry();
        second->showMaximized();
        QMdiSubWindow* third = ShowNewChildWindow(area, window(300, 200));
        QVERIFY(third->isMaximized());
        QCOMPARE(first->geometry(), firstPlace);
        third->showNormal();
        QVERIFY(QRect(QPoint(), viewport).contains(third->geometry()));
        QVERIFY(third->width() < viewport.width());

        WindowPlacement record(QStringLiteral("App"), WindowPlacement::kDefaultTwips);
        const QRect opened = third->geometry();
        RestoreFramePlacement(*third, record);
        QCOMPARE(third->geometry(), opened);
        PlacementStore::Write(QStringLiteral("App"), QStringLiteral("MainLeft"),
                              QStringLiteral("1500"));
        RestoreFramePlacement(*third, record);
        QCOMPARE(third->geometry().topLeft(), QPoint(TwipsToPixels(1500, third->logicalDpiX()),
                                                     TwipsToPixels(1000, third->logicalDpiY())));
    }
};

QTEST_MAIN(WindowPlacementTest)
#include "tst_windowplacement.moc"
