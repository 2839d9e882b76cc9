// The two pick lists: the handbook list over a definition file and the fixed list of a tag.
#include "HandbookTestSupport.h"

#include "core/AppContext.h"
#include "core/PlacementStore.h"
#include "core/Settings.h"
#include "core/Twips.h"
#include "core/XmlLoad.h"
#include "handbook/HandbookFields.h"
#include "handbook/PickCollation.h"
#include "handbook/PickDefinition.h"
#include "handbook/PickModel.h"
#include "handbook/window/dlgPick.h"
#include "handbook/window/dlgPickXMLFile.h"
#include "tests/support/GoldenDump.h"
#include "tests/support/ScriptedDialogs.h"
#include "tools/HandbookGenerator.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace varnel;
using namespace varnel::test;

namespace {

const QString kShippedDefinition = QStringLiteral(VARNEL_SOURCE_DIR "/dist/issuelist_pick.xml");
const QString kDemoHandbook =
    QStringLiteral(VARNEL_SOURCE_DIR "/dist/receive/ISSUELIST_20250310.msg");

// A definition file in the program folder; its name reads the current handbook.
const QString kTag = QStringLiteral("test_issuelist.xml");

QByteArray Definition(const QStringList& columns)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Columns>\r\n";
    for (const QString& c : columns)
        text += Cp1251(QStringLiteral("<Column ") + c + QStringLiteral("/>\r\n"));
    return text + "</Columns>\r\n";
}

const QStringList kCodeNameColumns = {
    "Name=\"Code\" Title=\"Код\" Width=\"1500\"",
    "Name=\"ShortName\" Title=\"Наименование\" Width=\"3000\"",
};

Row Instrument(const QString& code, const QString& name)
{
    return {{QStringLiteral("Code"), code}, {QStringLiteral("ShortName"), name}};
}

// A sandbox with a definition file and a current handbook.
struct PickSandbox : Sandbox {
    PickSandbox(const QStringList& columns, const QList<Row>& rows)
    {
        WriteBytes(path(kTag), Definition(columns));
        WriteBytes(work(QStringLiteral("h.msg")), HandbookXml(rows));
        WriteSetting(QStringLiteral("IssueList"), QStringLiteral("CurrentHandbookPath"),
                     work(QStringLiteral("h.msg")));
    }
};

struct Picked {
    QString result;
    QStringList messages;
    bool opened = false;
};

// One pick through dlgPickXMLFile; the action runs while the dialog is open.
// messageFirst: a failure box is expected before the dialog would open (it is answered OK);
// opens: whether the dialog itself is expected to open at all.
Picked PickXml(const std::function<void(dlgPickXMLFile&)>& action, const QString& tag = kTag,
               int x = 0, int y = 0, const QString& key = QStringLiteral("Pick_Issue"),
               bool messageFirst = false, bool opens = true)
{
    ScriptedDialogs dialogs;
    Picked picked;
    if (messageFirst)
        dialogs.answer(Answer::Ok);
    if (opens)
        dialogs.onModal([&](QDialog& d) {
            picked.opened = true;
            auto& pick = static_cast<dlgPickXMLFile&>(d);
            action(pick);
            return pick.resultText().isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
        });
    dlgPickXMLFile dialog;
    picked.result = dialog.PickData(tag, QStringLiteral("current"), x, y, key);
    picked.messages = dialogs.texts();
    return picked;
}

QStringList Column(const PickModel& model, int column)
{
    QStringList cells;
    for (int r = 0; r < model.rowCount(); ++r)
        cells << model.cellAt(r, column).toString();
    return cells;
}

// One pick through dlgPick.
QString PickFixed(const std::function<void(dlgPick&)>& action, const QString& tag, int x = 0,
                  int y = 0, const QString& key = QStringLiteral("Pick_Currency"))
{
    ScriptedDialogs dialogs;
    dialogs.onModal([&](QDialog& d) {
        auto& pick = static_cast<dlgPick&>(d);
        action(pick);
        return pick.resultText().isEmpty() ? int(QDialog::Rejected) : int(QDialog::Accepted);
    });
    dlgPick dialog;
    return dialog.PickData(tag, x, y, key);
}

int SelectedRow(const PickDialogBase& dialog)
{
    const QModelIndexList rows = dialog.lvGrid()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int Pixels(const QWidget& w, double twips)
{
    return TwipsToPixels(twips, w.logicalDpiX());
}

// Restores the default locale when a test changes it.
struct LocaleGuard {
    QLocale saved;
    ~LocaleGuard() { QLocale::setDefault(saved); }
};

} // namespace

class tst_PickDialogs : public QObject {
    Q_OBJECT

private slots:
    void goldenTexts();
    void columnsFromDefinition();
    void resultOfTheChosenRow_data();
    void resultOfTheChosenRow();
    void sortByHeaderClicks_data();
    void sortByHeaderClicks();
    void sortAgreesWithTheCollator();
    void opensOnTheFilesFirstRow();
    void search();
    void keysWorkWherever();
    void doubleClick();
    void placement_data();
    void placement();
    void layoutKeptPerKey();
    void failures_data();
    void failures();
    void hundredThousandRows();
    void shippedDefinitionAndDemoHandbook();
    void fixedListTag_data();
    void fixedListTag();
    void fixedListDialog();
    void columnsShowTheirTexts_data();
    void columnsShowTheirTexts();
};

void tst_PickDialogs::goldenTexts()
{
    Sandbox box;
    // The shipped columns without a handbook: a tag that names no handbook reads none.
    QVERIFY(QFile::copy(kShippedDefinition, box.path("columns.xml")));
    PickXml(
        [](dlgPickXMLFile& d) {
            VARNEL_COMPARE_GOLDEN(d, VARNEL_GOLDEN_DIR "/dlgPickXMLFile.txt");
        },
        QStringLiteral("columns.xml"));

    PickFixed([](dlgPick& d) { VARNEL_COMPARE_GOLDEN(d, VARNEL_GOLDEN_DIR "/dlgPick.txt"); },
              QStringLiteral("RUB\tРоссийский рубль|USD\tДоллар США"));
}

void tst_PickDialogs::columnsFromDefinition()
{
    PickSandbox box({"Name=\"Hidden\" Title=\"Скрыт\" Visible=\"0\"",
                     "Name=\"Code\" Title=\"Код\" Width=\"1500\" Align=\"L\"",
                     "Name=\"Face\" Title=\"Номинал\" Width=\"abc\" Align=\"R\"",
                     "Name=\"Cur\" Title=\"Валюта\" Width=\"900\" Align=\"C\"",
                     "Name=\"Stored\" Title=\"Хранимая\" Width=\"1200\" Align=\"x\"",
                     "Title=\"Без имени\""},
                    {{{"Code", "A1"}, {"Face", "1000"}, {"Hidden", "h"}, {"Cur", "RUB"}}});
    WriteSetting("Grid_Pick_Issue", "Code", "0"); // below 1: the definition's width
    WriteSetting("Grid_Pick_Issue", "Stored", "2400");
    PickXml([](dlgPickXMLFile& d) {
        const PickModel& m = *d.model();
        QCOMPARE(m.columnCount(), 5);
        QStringList titles;
        for (int c = 0; c < m.columnCount(); ++c)
            titles << m.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, (QStringList{"Код", "Номинал", "Валюта", "Хранимая", "Без имени"}));
        const QHeaderView& header = *d.lvGrid()->horizontalHeader();
        const int widths[] = {1500, 1000, 900, 2400, 1000};
        for (int c = 0; c < 4; ++c)
            QCOMPARE(header.sectionSize(c), Pixels(d, widths[c]));
        // The last one takes what is left of the dialog's width.
        QVERIFY(header.sectionSize(4) >= Pixels(d, widths[4]));
        const Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter,
                                        Qt::AlignHCenter, Qt::AlignLeft};
        for (int c = 0; c < 5; ++c)
            QCOMPARE(m.data(m.index(0, c), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                         Qt::AlignHorizontal_Mask,
                     aligns[c]);
        // The first shown column is the first definition child that is not hidden.
        QCOMPARE(m.rowCells(0), (QStringList{"A1", "1000", "RUB", "", ""}));
    });
    // Closing writes every column under its name, or its number when it has none.
    QCOMPARE(ReadSetting("Grid_Pick_Issue", "Code", {}), QStringLiteral("1500"));
    QCOMPARE(ReadSetting("Grid_Pick_Issue", "Stored", {}), QStringLiteral("2400"));
    QCOMPARE(ReadSetting("Grid_Pick_Issue", "5", {}), QStringLiteral("1000"));
}

void tst_PickDialogs::resultOfTheChosenRow_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("result");

    const QString long300 = QString(300, u'Ж');
    QTest::newRow("first row after the sort")
        << QList<Row>{Instrument("B", "Второй"), Instrument("A", "Первый")} << 0 << "A\r\nПервый";
    QTest::newRow("second row") << QList<Row>{Instrument("B", "Второй"), Instrument("A", "Первый")}
                                << 1 << "B\r\nВторой";
    QTest::newRow("missing attribute") << QList<Row>{{{"Code", "C"}}} << 0 << "C\r\n";
    QTest::newRow("300 characters shown and picked as 256 and ...")
        << QList<Row>{Instrument("D", long300)} << 0 << "D\r\n" + long300.left(256) + "...";
    QTest::newRow("259 characters kept")
        << QList<Row>{Instrument("E", long300.left(259))} << 0 << "E\r\n" + long300.left(259);
    QTest::newRow("line breaks inside a value removed")
        << QList<Row>{Instrument("F", "две&#13;&#10;строки")} << 0 << "F\r\nдвестроки";
    QTest::newRow("markup characters")
        << QList<Row>{Instrument("&lt;G&amp;&quot;", "x")} << 0 << "<G&\"\r\nx";
}

void tst_PickDialogs::resultOfTheChosenRow()
{
    QFETCH(QList<Row>, rows);
    QFETCH(int, row);
    QFETCH(QString, result);
    PickSandbox box(kCodeNameColumns, rows);
    const Picked picked = PickXml([&](dlgPickXMLFile& d) {
        d.lvGrid()->selectionModel()->setCurrentIndex(d.model()->index(row, 1),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        d.pickSelectedRow();
    });
    QCOMPARE(picked.result, result);
    QVERIFY(picked.messages.isEmpty());
}

void tst_PickDialogs::sortByHeaderClicks_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("latinFirst"); // the locale's order of the two alphabets
    QTest::newRow("Russian") << "ru_RU" << false;
    QTest::newRow("no locale of the user's own: Russian") << "C" << false;
    QTest::newRow("English") << "en_US" << true;
}

void tst_PickDialogs::sortByHeaderClicks()
{
    QFETCH(QString, locale);
    QFETCH(bool, latinFirst);
    LocaleGuard guard;
    QLocale::setDefault(QLocale(locale));
    PickSandbox box(kCodeNameColumns,
                    {Instrument("5", "яблоко"), Instrument("2", "Арбуз"), Instrument("6", "ёж"),
                     Instrument("3", "банан"), Instrument("1", "Ель"), Instrument("4", "Банан"),
                     Instrument("10", "apple"), Instrument("11", "Apple")});
    PickXml([&](dlgPickXMLFile& d) {
        const PickModel& m = *d.model();
        // Every sort below under Qt's model tester.
        QAbstractItemModelTester tester(d.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Opened sorted ascending by the first column, its header showing "Desc".
        QCOMPARE(d.sortColumn(), 1);
        QVERIFY(d.ascending());
        QCOMPARE(Column(m, 0), (QStringList{"1", "10", "11", "2", "3", "4", "5", "6"}));
        QCOMPARE(m.headerData(0, Qt::Horizontal, Qt::DecorationRole).value<QIcon>().cacheKey(),
                 d.sortImage("Desc").cacheKey());
        QCOMPARE(d.lblFind4()->text(), QStringLiteral("поиск: Код"));

        // Another column: ascending by it, letter case aside, ё with е; equal texts in the
        // order of the file. The search moves to it.
        const QStringList latin{"apple", "Apple"};
        const QStringList cyrillic{"Арбуз", "банан", "Банан", "ёж", "Ель", "яблоко"};
        const QStringList ascending = latinFirst ? latin + cyrillic : cyrillic + latin;
        d.sortByColumn(2);
        QVERIFY(d.ascending());
        QCOMPARE(Column(m, 1), ascending);
        QVERIFY(m.headerData(0, Qt::Horizontal, Qt::DecorationRole).isNull());
        QCOMPARE(m.headerData(1, Qt::Horizontal, Qt::DecorationRole).value<QIcon>().cacheKey(),
                 d.sortImage("Desc").cacheKey());
        QCOMPARE(d.lblFind4()->text(), QStringLiteral("поиск: Наименование"));

        // The same column again: descending, "Asc" shown; equal texts still in file order.
        d.sortByColumn(2);
        QVERIFY(!d.ascending());
        const QStringList descending =
            latinFirst
                ? QStringList{"яблоко", "Ель", "ёж", "банан", "Банан", "Арбуз", "apple", "Apple"}
                : QStringList{"apple", "Apple", "яблоко", "Ель", "ёж", "банан", "Банан", "Арбуз"};
        QCOMPARE(Column(m, 1), descending);
        QCOMPARE(m.headerData(1, Qt::Horizontal, Qt::DecorationRole).value<QIcon>().cacheKey(),
                 d.sortImage("Asc").cacheKey());

        // Back to the first: ascending again, whatever order it had before.
        d.sortByColumn(1);
        QVERIFY(d.ascending());
        QCOMPARE(Column(m, 0).first(), QStringLiteral("1"));
    });
}

// The list's fast sort keys order every column of a generated handbook as the collator does.
void tst_PickDialogs::sortAgreesWithTheCollator()
{
    LocaleGuard guard;
    QLocale::setDefault(QLocale(QStringLiteral("ru_RU")));
    Sandbox box;
    tools::HandbookOptions options;
    options.instruments = 1500;
    QVERIFY(WriteBytes(box.work("h.msg"), tools::GenerateHandbook(options)));
    WriteSetting("IssueList", "CurrentHandbookPath", box.work("h.msg"));
    QStringList columns;
    for (const char* name : tools::kHandbookAttributes)
        columns << QStringLiteral("Name=\"%1\" Title=\"%1\"").arg(QLatin1String(name));
    WriteBytes(box.path(kTag), Definition(columns));
    const QCollator collator = PickListCollator();
    PickXml([&](dlgPickXMLFile& d) {
        const PickModel& m = *d.model();
        QCOMPARE(m.rowCount(), 1500);
        for (int c = 1; c <= m.columnCount(); ++c) {
            d.sortByColumn(c);
            const QStringList cells = Column(m, c - 1);
            // The first column was sorted at the opening: this click turns it round.
            const int sign = d.ascending() ? 1 : -1;
            for (int r = 1; r < cells.size(); ++r)
                QVERIFY2(sign * collator.compare(cells.at(r - 1), cells.at(r)) <= 0,
                         qPrintable(cells.at(r - 1) + " / " + cells.at(r)));
        }
    });
}

void tst_PickDialogs::search()
{
    PickSandbox box(kCodeNameColumns,
                    {Instrument("1", "Банан"), Instrument("2", "ананас"), Instrument("3", "БАНАНЫ"),
                     Instrument("4", "Ананас"), Instrument("5", "банан спелый")});
    PickXml([&](dlgPickXMLFile& d) {
        d.sortByColumn(2); // search in the names: ананас, Ананас, Банан, банан спелый, БАНАНЫ
        const PickModel& m = *d.model();
        const auto found = [&] { return m.cellAt(SelectedRow(d), 0).toString(); };
        QVERIFY(!d.cmdFindNext()->isEnabled());

        // From the start of the text, letter case aside.
        d.txtFind()->setText(QStringLiteral("ба"));
        QCOMPARE(found(), QStringLiteral("1"));
        QCOMPARE(d.lastFoundRow(), 2);
        QVERIFY(d.cmdFindNext()->isEnabled());
        d.findNext();
        QCOMPARE(found(), QStringLiteral("5"));
        d.findNext();
        QCOMPARE(found(), QStringLiteral("3"));
        // No wrap-around after the last match.
        d.findNext();
        QCOMPARE(found(), QStringLiteral("3"));
        QCOMPARE(d.lastFoundRow(), 4);

        // A text found only inside the names: nothing without "внутри строк"; the last found
        // row is forgotten, so "след" is disabled.
        d.txtFind()->setText(QStringLiteral("нан"));
        QCOMPARE(found(), QStringLiteral("3"));
        QCOMPARE(d.lastFoundRow(), -1);
        QVERIFY(!d.cmdFindNext()->isEnabled());
        d.findNext();
        QCOMPARE(found(), QStringLiteral("3"));
        // Ticking the box searches again from the first row.
        d.chkFind()->click();
        QCOMPARE(found(), QStringLiteral("2"));
        d.findNext();
        QCOMPARE(found(), QStringLiteral("4"));

        // An emptied search text finds nothing and disables "след".
        d.txtFind()->clear();
        QCOMPARE(found(), QStringLiteral("4"));
        QVERIFY(!d.cmdFindNext()->isEnabled());
        d.findNext();
        QCOMPARE(found(), QStringLiteral("4"));

        // F3 after a sort goes on from where the found row now stands.
        d.chkFind()->click();
        d.txtFind()->setText(QStringLiteral("ананас"));
        QCOMPARE(found(), QStringLiteral("2"));
        d.sortByColumn(2); // descending: БАНАНЫ, банан спелый, Банан, ананас, Ананас
        d.findNext();
        QCOMPARE(found(), QStringLiteral("4"));
        d.findNext();
        QCOMPARE(found(), QStringLiteral("4"));
        d.sortByColumn(1); // the search moves to the codes
        d.txtFind()->setText(QStringLiteral("4"));
        QCOMPARE(found(), QStringLiteral("4"));
    });
}

// The file's first row is selected as the list loads, and the sort by the first column keeps
// it selected: the list opens sorted, on the file's first instrument, in view; Enter picks it.
void tst_PickDialogs::opensOnTheFilesFirstRow()
{
    QList<Row> rows{Instrument("ZZ-1", "Первый в файле")};
    for (int i = 0; i < 300; ++i)
        rows << Instrument(QStringLiteral("A%1").arg(i, 3, 10, QChar(u'0')), QStringLiteral("x"));
    PickSandbox box(kCodeNameColumns, rows);
    const Picked picked = PickXml([](dlgPickXMLFile& d) {
        QCOMPARE(d.model()->cellAt(0, 0).toString(), QStringLiteral("A000"));
        QCOMPARE(SelectedRow(d), 300);
        QCOMPARE(d.lvGrid()->currentIndex().row(), 300);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QTableView& grid = *d.lvGrid();
        QTRY_VERIFY(grid.viewport()->rect().contains(grid.visualRect(grid.currentIndex())));
        QTest::keyClick(d.txtFind(), Qt::Key_Return);
    });
    QCOMPARE(picked.result, QStringLiteral("ZZ-1\r\nПервый в файле"));
}

void tst_PickDialogs::keysWorkWherever()
{
    PickSandbox box(kCodeNameColumns,
                    {Instrument("A1", "x"), Instrument("A2", "y"), Instrument("B1", "z")});
    // F3 in the list, arrows from the search box, Enter in the search box.
    Picked picked = PickXml([](dlgPickXMLFile& d) {
        QTest::keyClicks(d.txtFind(), QStringLiteral("a"));
        QCOMPARE(SelectedRow(d), 0);
        QTest::keyClick(d.lvGrid(), Qt::Key_F3);
        QCOMPARE(SelectedRow(d), 1);
        QTest::keyClick(d.txtFind(), Qt::Key_Down);
        QCOMPARE(SelectedRow(d), 2);
        QTest::keyClick(d.txtFind(), Qt::Key_Return);
    });
    QCOMPARE(picked.result, QStringLiteral("B1\r\nz"));

    // Esc wherever the focus is: nothing picked.
    picked = PickXml([](dlgPickXMLFile& d) { QTest::keyClick(d.chkFind(), Qt::Key_Escape); });
    QCOMPARE(picked.result, QString());
    QVERIFY(picked.opened);

    // OK without a selected row does nothing.
    picked = PickXml([](dlgPickXMLFile& d) {
        d.lvGrid()->selectionModel()->clear();
        QTest::keyClick(d.lvGrid(), Qt::Key_Enter);
    });
    QCOMPARE(picked.result, QString());
}

void tst_PickDialogs::doubleClick()
{
    PickSandbox box(kCodeNameColumns, {Instrument("A", "x"), Instrument("B", "y")});
    const Picked picked = PickXml([](dlgPickXMLFile& d) {
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QWidget* viewport = d.lvGrid()->viewport();
        // Empty space below the rows: nothing.
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 3));
        QVERIFY(d.isVisible());
        // The second row, not the selected first one.
        const QRect second = d.lvGrid()->visualRect(d.model()->index(1, 0));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, second.center());
        QVERIFY(!d.isVisible());
    });
    QCOMPARE(picked.result, QStringLiteral("B\r\ny"));
}

void tst_PickDialogs::placement_data()
{
    QTest::addColumn<QPoint>("corner"); // twips
    // Per axis: 0 where asked, 1 pulled back to end 100 pixels before the edge, 2 at the edge
    // of the screen's start.
    QTest::addColumn<QPoint>("rule");

    QTest::newRow("middle of the screen") << QPoint(3000, 2250) << QPoint(0, 0);
    QTest::newRow("bottom-right corner") << QPoint(18900, 15300) << QPoint(1, 1);
    QTest::newRow("right edge only") << QPoint(18000, 1500) << QPoint(1, 0);
    QTest::newRow("bottom edge only") << QPoint(1500, 15000) << QPoint(0, 1);
    QTest::newRow("left of the screen") << QPoint(-3000, 1500) << QPoint(2, 0);
}

void tst_PickDialogs::placement()
{
    QFETCH(QPoint, corner);
    QFETCH(QPoint, rule);
    PickSandbox box(kCodeNameColumns, {Instrument("A", "x")});
    const QRect screen(0, 0, 1280, 1024);
    PickDialogBase::SetScreenAreaForTesting(screen);
    const auto expect = [&](int ruleOf, int twips, int end, int size, const QWidget& d) {
        switch (ruleOf) {
        case 1: return end + 1 - 100 - size;
        case 2: return 0;
        default: return Pixels(d, twips);
        }
    };
    const auto check = [&](PickDialogBase& d) {
        QCOMPARE(d.pos().x(), expect(rule.x(), corner.x(), screen.right(), d.width(), d));
        QCOMPARE(d.pos().y(), expect(rule.y(), corner.y(), screen.bottom(), d.height(), d));
    };
    PickXml([&](dlgPickXMLFile& d) { check(d); }, kTag, corner.x(), corner.y());
    PickFixed([&](dlgPick& d) { check(d); }, QStringLiteral("A\tB"), corner.x(), corner.y(),
              QStringLiteral("Pick_X"));
    PickDialogBase::SetScreenAreaForTesting(QRect());
}

void tst_PickDialogs::layoutKeptPerKey()
{
    PickSandbox box(kCodeNameColumns, {Instrument("A", "x")});
    QSize designSize;
    PickXml([&](dlgPickXMLFile& d) {
        designSize = d.size();
        d.resize(designSize + QSize(60, 45));
        d.lvGrid()->horizontalHeader()->resizeSection(0, Pixels(d, 3000));
    });
    QCOMPARE(ReadSetting("Grid_Pick_Issue", "Code", {}), QStringLiteral("3000"));

    // The next pick with the key opens as it was closed; another key keeps its own.
    PickXml([&](dlgPickXMLFile& d) {
        QCOMPARE(d.size(), designSize + QSize(60, 45));
        QCOMPARE(d.lvGrid()->horizontalHeader()->sectionSize(0), Pixels(d, 3000));
    });
    PickXml(
        [&](dlgPickXMLFile& d) {
            QCOMPARE(d.size(), designSize);
            QCOMPARE(d.lvGrid()->horizontalHeader()->sectionSize(0), Pixels(d, 1500));
        },
        kTag, 0, 0, QStringLiteral("Pick_Other"));
}

void tst_PickDialogs::failures_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QByteArray>("handbook"); // empty: no handbook file
    QTest::addColumn<bool>("handbookSet");
    QTest::addColumn<QString>("message"); // %1: program folder; a prefix for load failures
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("status2"); // %1: handbook path; empty: the message

    const QByteArray good = HandbookXml({Instrument("A", "x")});
    QTest::newRow("no current handbook")
        << kTag << good << false
        << "Текущий справочник ЦБ не установлен. Используйте режим 'Найти справочник ЦБ'" << false
        << "";
    QTest::newRow("definition file missing")
        << "missing_issuelist.xml" << good << true << "Файл %1/missing_issuelist.xml не найден"
        << false << "";
    QTest::newRow("definition file not well-formed")
        << "broken_issuelist.xml" << good << true
        << "Ошибка загрузки файла %1/broken_issuelist.xml: \r\n"
        << false << "";
    QTest::newRow("handbook missing")
        << kTag << QByteArray() << true << "" << true << "Файл %1 не найден";
    QTest::newRow("handbook with a document type")
        << kTag
        << HandbookXml({Instrument("A", "x")},
                       "<?xml version=\"1.0\"?>\r\n<!DOCTYPE IssueList [<!ENTITY e \"x\">]>")
        << true
        << "Ошибка загрузки файла %1/work/h.msg: \r\nDTD is prohibited.\r\nСтрока: 2, поз: 1"
        << true << "";
    QByteArray badByte = good;
    badByte.replace("\"x\"", "\"\x98\"");
    QTest::newRow("byte undefined in Windows-1251")
        << kTag << badByte << true << "Ошибка загрузки файла %1/work/h.msg: \r\n"
        << true << "";
    QTest::newRow("cut short") << kTag << good.left(good.size() - 8) << true
                               << "Ошибка загрузки файла %1/work/h.msg: \r\n"
                               << true << "";
}

void tst_PickDialogs::failures()
{
    QFETCH(QString, tag);
    QFETCH(QByteArray, handbook);
    QFETCH(bool, handbookSet);
    QFETCH(QString, message);
    QFETCH(bool, opened);
    QFETCH(QString, status2);

    Sandbox box;
    WriteBytes(box.path(kTag), Definition(kCodeNameColumns));
    WriteBytes(box.path("broken_issuelist.xml"), "<Columns><Column Name=\"A\"></Columns>");
    if (!handbook.isEmpty())
        WriteBytes(box.work("h.msg"), handbook);
    if (handbookSet)
        WriteSetting("IssueList", "CurrentHandbookPath", box.work("h.msg"));

    QString status1, status;
    int rows = -1;
    const Picked picked = PickXml(
        [&](dlgPickXMLFile& d) {
            status1 = d.statusText(1);
            status = d.statusText(2);
            rows = d.model()->rowCount();
            // The dialog stays usable: a search and a pick of nothing.
            d.txtFind()->setText(QStringLiteral("A"));
            d.findNext();
            d.pickSelectedRow();
        },
        tag, 0, 0, QStringLiteral("Pick_Issue"), !message.isEmpty(), opened);
    QCOMPARE(picked.opened, opened);
    QCOMPARE(picked.result, QString());
    const QString expected = message.contains(u'%') ? message.arg(box.folder()) : message;
    if (expected.isEmpty()) {
        QVERIFY(picked.messages.isEmpty());
    } else {
        QCOMPARE(picked.messages.size(), 1);
        QVERIFY2(picked.messages.first().startsWith(expected), qPrintable(picked.messages.first()));
    }
    if (opened) {
        QCOMPARE(rows, 0);
        QCOMPARE(status1, QStringLiteral("Записей: 0"));
        const QString expectedStatus = status2.isEmpty()
                                           ? QString(picked.messages.value(0)).replace("\r\n", " ")
                                           : status2.arg(box.work("h.msg"));
        QCOMPARE(status, expectedStatus);
    }
}

// A handbook of a hundred thousand instruments: every row there, the search, F3, sorting and
// the pick work.
void tst_PickDialogs::hundredThousandRows()
{
    Sandbox box;
    tools::HandbookOptions options;
    options.instruments = 100000;
    QVERIFY(WriteBytes(box.work("h.msg"), tools::GenerateHandbook(options)));
    WriteSetting("IssueList", "CurrentHandbookPath", box.work("h.msg"));
    QVERIFY(QFile::copy(kShippedDefinition, box.path("issuelist_pick.xml")));
    const Picked picked = PickXml(
        [](dlgPickXMLFile& d) {
            const PickModel& m = *d.model();
            QCOMPARE(d.statusText(1), QStringLiteral("Записей: 100000"));
            d.sortByColumn(4); // ISIN
            d.chkFind()->setChecked(true);
            d.txtFind()->setText(QStringLiteral("a0z"));
            const int first = d.lastFoundRow();
            QVERIFY(first >= 0);
            d.findNext();
            QVERIFY(d.lastFoundRow() > first);
            QVERIFY(m.cellAt(d.lastFoundRow(), 3).contains(QStringLiteral("A0Z")));
            d.sortByColumn(4);
            QVERIFY(m.cellAt(0, 3) > m.cellAt(99999, 3));
            d.pickSelectedRow();
        },
        QStringLiteral("issuelist_pick.xml"));
    const QStringList lines = picked.result.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 9);
    QVERIFY(lines.at(3).contains(QStringLiteral("A0Z")));
}

// The shipped definition for the Issue field shows ISIN and RegNum fourth and fifth; the demo
// handbook is a handbook to discovery and fills every shown column.
void tst_PickDialogs::shippedDefinitionAndDemoHandbook()
{
    const QList<PickColumn> columns = ReadPickDefinition(kShippedDefinition);
    QVERIFY(columns.size() >= 5);
    QCOMPARE(columns.at(3).name, QStringLiteral("ISIN"));
    QCOMPARE(columns.at(4).name, QStringLiteral("RegNum"));
    QVERIFY(PickTagReadsHandbook(QFileInfo(kShippedDefinition).fileName()));

    QVERIFY(IsHandbookFile(kDemoHandbook));
    XmlChildReader reader(kDemoHandbook);
    XmlElement row;
    QSet<QString> isins;
    int count = 0;
    while (reader.next(row)) {
        ++count;
        for (const PickColumn& c : columns) {
            if (c.name != u"MaturityDate") // shares do not mature
                QVERIFY2(!row.attribute(c.name).isEmpty(), qPrintable(c.name));
        }
        const QString isin = row.attribute("ISIN");
        QVERIFY(isin.size() == 12 && isin.startsWith(u"RU"));
        QCOMPARE(isin.right(1).toInt(), tools::IsinCheckDigit(isin.left(11)));
        isins.insert(isin);
    }
    QVERIFY(count >= 200);
    QCOMPARE(isins.size(), count);

    Sandbox box;
    QVERIFY(QFile::copy(kShippedDefinition, box.path("issuelist_pick.xml")));
    WriteSetting("IssueList", "CurrentHandbookPath", kDemoHandbook);
    const Picked picked = PickXml(
        [](dlgPickXMLFile& d) {
            d.txtFind()->setText(QStringLiteral("SU"));
            d.pickSelectedRow();
        },
        QStringLiteral("issuelist_pick.xml"));
    const QStringList lines = picked.result.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), columns.size());
    QVERIFY(lines.at(0).startsWith(u"SU"));    // the issue code into the field
    QVERIFY(lines.at(3).startsWith(u"RU000")); // ISIN
    QVERIFY(lines.at(4).endsWith(u"RMFS"));    // registration number of a federal loan
}

void tst_PickDialogs::fixedListTag_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("rows"); // cells of a row joined with "/"

    QTest::newRow("two rows of two")
        << "RUB\tРубль|USD\tДоллар" << 2 << QStringList{"RUB/Рубль", "USD/Доллар"};
    QTest::newRow("closing bar") << "RUB\tРубль|USD\tДоллар|" << 2
                                 << QStringList{"RUB/Рубль", "USD/Доллар"};
    QTest::newRow("shorter row") << "A\tB\tC|D" << 3 << QStringList{"A/B/C", "D//"};
    QTest::newRow("longer row") << "A|B\tC\tD" << 1 << QStringList{"A", "B"};
    QTest::newRow("single cells") << "B|S" << 1 << QStringList{"B", "S"};
    QTest::newRow("empty row kept") << "A\t1||B\t2" << 2 << QStringList{"A/1", "/", "B/2"};
}

void tst_PickDialogs::fixedListTag()
{
    QFETCH(QString, tag);
    QFETCH(int, columns);
    QFETCH(QStringList, rows);
    const FixedList list = ParseFixedList(tag);
    QCOMPARE(list.columnCount, columns);
    QStringList joined;
    for (const QStringList& r : list.rows)
        joined << r.join(u'/');
    QCOMPARE(joined, rows);
}

void tst_PickDialogs::fixedListDialog()
{
    Sandbox box;
    WriteSetting("Grid_Pick_Currency", "2", "2500");
    const QString result = PickFixed(
        [](dlgPick& pick) {
            const PickModel& m = *pick.model();
            QCOMPARE(m.rowCount(), 2);
            QCOMPARE(m.columnCount(), 2);
            QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QString());
            QCOMPARE(pick.lvGrid()->horizontalHeader()->sectionSize(0), Pixels(pick, 1000));
            QCOMPARE(pick.lvGrid()->horizontalHeader()->sectionSize(1), Pixels(pick, 2500));
            QCOMPARE(SelectedRow(pick), 0);
            pick.pickRowAt(pick.lvGrid()->visualRect(m.index(1, 1)).center());
        },
        QStringLiteral("RUB\tРоссийский рубль|USD\tДоллар США"));
    QCOMPARE(result, QStringLiteral("USD\r\nДоллар США"));
    QCOMPARE(ReadSetting("Grid_Pick_Currency", "1", {}), QStringLiteral("1000"));
    QCOMPARE(ReadSetting("Grid_Pick_Currency", "2", {}), QStringLiteral("2500"));
    QVERIFY(!PlacementStore::Read(kAppTitle + "Pick_Currency", "Pick_CurrencyWidth", {}).isEmpty());
}

void tst_PickDialogs::columnsShowTheirTexts_data()
{
    QTest::addColumn<bool>("handbook"); // the securities handbook, else a fixed list
    QTest::addColumn<QString>("tag");
    QTest::newRow("securities handbook") << true << QStringLiteral("issuelist_pick.xml");
    QTest::newRow("fixed list")
        << false
        << QStringLiteral("RUB\tРоссийский рубль, безналичные расчеты по счетам участников\t643"
                          "|USD\tДоллар США\t840");
}

void tst_PickDialogs::columnsShowTheirTexts()
{
    QFETCH(bool, handbook);
    QFETCH(QString, tag);
    Sandbox box;
    QVERIFY(QFile::copy(kShippedDefinition, box.path("issuelist_pick.xml")));
    WriteSetting("IssueList", "CurrentHandbookPath", kDemoHandbook);
    const QRect screen(0, 0, 1600, 1000);
    PickDialogBase::SetScreenAreaForTesting(screen);
    // Sizes an earlier version kept: the design size, the definition's widths.
    const QString key = handbook ? QStringLiteral("Pick_Issue") : QStringLiteral("Pick_Currency");
    PlacementStore::Write(kAppTitle + key, key + QStringLiteral("Width"), QStringLiteral("6000"));
    WriteSetting(QStringLiteral("Grid_") + key, QStringLiteral("ISIN"), QStringLiteral("700"));
    WriteSetting(QStringLiteral("Grid_") + key, QStringLiteral("2"), QStringLiteral("700"));
    // At its opening every column shows its title and its widest text, the dialog is
    // wide enough for all of them, and the last column takes what is left.
    const auto check = [&](PickDialogBase& d) {
        d.show();
        QTableView* grid = d.lvGrid();
        QHeaderView* header = grid->horizontalHeader();
        QVERIFY(header->stretchLastSection());
        int last = -1;
        for (int c = 0; c < d.model()->columnCount(); ++c) {
            if (grid->isColumnHidden(c))
                continue;
            last = c;
            const int needed =
                std::max(header->sectionSizeHint(c),
                         static_cast<const QAbstractItemView*>(grid)->sizeHintForColumn(c));
            QVERIFY2(header->sectionSize(c) >= needed,
                     qPrintable(QStringLiteral("column %1: %2 < %3")
                                    .arg(c)
                                    .arg(header->sectionSize(c))
                                    .arg(needed)));
        }
        QVERIFY(last >= 0);
        QVERIFY(header->sectionViewportPosition(last) + header->sectionSize(last) <=
                grid->viewport()->width());
        QVERIFY(d.width() <= screen.width() - 100);
        d.CancelButton()->click();
    };
    if (handbook) {
        PickXml([&](dlgPickXMLFile& d) { check(d); }, QStringLiteral("issuelist_pick.xml"));
    } else {
        PickFixed([&](dlgPick& d) { check(d); }, tag);
    }
    PickDialogBase::SetScreenAreaForTesting(QRect());
}

QTEST_MAIN(tst_PickDialogs)
#include "tst_pickdialogs.moc"
