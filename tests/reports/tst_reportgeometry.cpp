// The geometry of the two report editor windows: the arrangement of the grid, the panel and
// its fields by the layout rules, and the placement and column widths the windows keep.
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "reports/ReportModel.h"
#include "reports/window/frmReport.h"
#include "tests/support/ScriptedDialogs.h"

#include "ReportWindowSupport.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableView>
#include <QtTest>

using namespace varnel;
using namespace varnel::test;

class ReportGeometryTest : public QObject, private ReportWindowRun {
    Q_OBJECT

private slots:
    void init() { startRun(); }
    void cleanup() { endRun(); }

    void resizeRules()
    {
        Window w = open(ReportKind::Deals);
        const int dpi = w->logicalDpiX();
        w->resize(TwipsToPixels(12000, dpi), TwipsToPixels(9000, dpi));
        w->arrangeControls();
        const QRect grid = w->grid()->geometry();
        QCOMPARE(grid.left(), TwipsToPixels(20, dpi));
        QCOMPARE(grid.width(), TwipsToPixels(12000 - 40, dpi));
        const int panel = 12000 - 40;
        QCOMPARE(w->standardEditorWidth(), (panel - 4000) / 2);
        const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
        QCOMPARE(w->txtEdit(0)->x(), px(1605));
        QCOMPARE(w->lblEdit(0)->geometry().right() + 1, px(120 + 1440));
        QCOMPARE(w->txtEdit(15)->x(), px((panel - 4000) / 2 + 3200));
        QCOMPARE(w->lblEdit(15)->geometry().right() + 1, px((panel - 4000) / 2 + 1750 + 1440));
        QCOMPARE(w->txtEdit(0)->y(), px(240));
        QCOMPARE(w->txtEdit(1)->y(), px(540));
        QCOMPARE(w->txtEdit(0)->width(), px(w->standardEditorWidth()));
        QCOMPARE(w->txtEdit(16)->y(), w->txtEdit(1)->y());

        // Narrower than 7700 twips: nothing moves.
        w->setMinimumSize(0, 0);
        const QRect before = w->txtEdit(15)->geometry();
        w->resize(TwipsToPixels(7000, dpi), TwipsToPixels(9000, dpi));
        w->arrangeControls();
        QCOMPARE(w->txtEdit(15)->geometry(), before);
        QCOMPARE(w->grid()->geometry(), grid);
        // Too low for the grid: nothing moves either.
        w->resize(TwipsToPixels(12000, dpi), TwipsToPixels(3000, dpi));
        w->arrangeControls();
        QCOMPARE(w->grid()->geometry(), grid);

        // The repo window switches between one and two columns by the panel width.
        Window repo = open(ReportKind::Repo);
        repo->setMinimumSize(0, 0);
        repo->resize(TwipsToPixels(14000, dpi), TwipsToPixels(12000, dpi));
        repo->arrangeControls();
        QCOMPARE(repo->editorColumns(), 2);
        QCOMPARE(repo->txtEdit(12)->y(), repo->txtEdit(0)->y());
        repo->resize(TwipsToPixels(9000, dpi), TwipsToPixels(12000, dpi));
        repo->arrangeControls();
        QCOMPARE(repo->editorColumns(), 1);
        QCOMPARE(repo->txtEdit(12)->x(), repo->txtEdit(0)->x());
        QVERIFY(repo->txtEdit(12)->y() > repo->txtEdit(11)->y());
        // Every shown field stays inside the panel.
        for (int slot = 0; slot < 24; ++slot) {
            if (repo->txtEdit(slot)->isVisibleTo(repo.get()))
                QVERIFY(repo->txtEdit(slot)->geometry().bottom() <
                        repo->findChild<QWidget*>(QStringLiteral("grpEdit"))->height());
        }
    }

    // Placement and column widths live in the per-user store and the settings file; both
    // report kinds share them.
    void placementAndWidths()
    {
        QMdiArea area;
        area.resize(1200, 900);
        area.show();
        {
            Window w = open(ReportKind::Deals);
            QMdiSubWindow* sub = area.addSubWindow(w.get());
            w->show();
            sub->show();
            sub->setGeometry(30, 45, 900, 800);
            w->grid()->horizontalHeader()->resizeSection(2, 150);
            QVERIFY(w->close());
            sub->setWidget(nullptr);
            delete sub;
        }
        const QString app = QStringLiteral("Varnel_Reports");
        const int dpi = area.logicalDpiX();
        const auto tw = [dpi](int pixels) {
            return QString::number(qRound(PixelsToTwips(pixels, dpi)));
        };
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("Maximized"), {}), QStringLiteral("0"));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainLeft"), {}), tw(30));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainTop"), {}), tw(45));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainWidth"), {}), tw(900));
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("MainHeight"), {}), tw(800));
        QCOMPARE(ReadSetting(QStringLiteral("Grid_Reports"), QStringLiteral("1"), {}),
                 tw(TwipsToPixels(500, dpi)));
        QCOMPARE(ReadSetting(QStringLiteral("Grid_Reports"), QStringLiteral("Issue"), {}), tw(150));

        // The repo window opens where the deal window was, with the shared width.
        Window repo = open(ReportKind::Repo);
        QCOMPARE(repo->model().column(2).name, QStringLiteral("Issue"));
        QCOMPARE(QString::number(repo->model().column(2).widthTwips), tw(150));
        QMdiSubWindow* sub = area.addSubWindow(repo.get());
        repo->show();
        sub->show();
        QCOMPARE(sub->geometry(), QRect(30, 45, 900, 800));
        PlacementStore::Write(app, QStringLiteral("Maximized"), QStringLiteral("1"));
        Window maximized = open(ReportKind::Deals);
        QMdiSubWindow* sub2 = area.addSubWindow(maximized.get());
        maximized->show();
        sub2->show();
        QVERIFY(sub2->isMaximized());
        // A minimized window leaves the placement as it was.
        sub2->showMinimized();
        QVERIFY(maximized->close());
        QCOMPARE(PlacementStore::Read(app, QStringLiteral("Maximized"), {}), QStringLiteral("1"));
        sub2->setWidget(nullptr);
        delete sub2;
        sub->setWidget(nullptr);
        delete sub;
    }
};

QTEST_MAIN(ReportGeometryTest)
#include "tst_reportgeometry.moc"
