#include "CIniMngr.h"

#include <QTest>

using namespace varnel;

Q_DECLARE_METATYPE(varnel::IniLineKind)

namespace {

QStringList Saved(const CIniMngr& ini)
{
    QStringList lines;
    ini.SaveLines(lines);
    return lines;
}

// The error number an action raises, 0 when it raises none.
template <typename Action> int ErrorOf(Action action)
{
    try {
        action();
    } catch (const IniError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

class TestIniMngr : public QObject {
    Q_OBJECT

private slots:
    void parseLine_data();
    void parseLine();
    void saveNormalForm_data();
    void saveNormalForm();
    void loadRefusesDuplicates_data();
    void loadRefusesDuplicates();
    void lookupIgnoresLetterCase_data();
    void lookupIgnoresLetterCase();
    void absentKeys();
    void keysBeforeFirstHeader();
    void valuesFollowEntryOrder();
    void valueAddToNewSection();
    void valueAddToExistingSection();
    void valueAddRefusals();
    void valueAddManyKeepsReverseOrder();
    void loadSplitsAtEveryBreak();
    void trailingEmptyLineKeepsFinalBreak();
    void errorKeepsEarlierLines();
    void clearEmptiesEverything();
    void valueKeyParce_data();
    void valueKeyParce();
};

void TestIniMngr::parseLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("error");
    QTest::addColumn<IniLineKind>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    const auto other = IniLineKind::Other;
    const auto header = IniLineKind::Header;
    const auto key = IniLineKind::Key;
    auto row = [](const char* tag, const QString& line, IniLineKind kind, const QString& name,
                  const QString& value) {
        QTest::newRow(tag) << line << 0 << kind << name << value;
    };
    auto bad = [](const char* tag, const QString& line) {
        QTest::newRow(tag) << line << 9 << IniLineKind::Other << QString() << QString();
    };

    row("empty", "", other, "", "");
    row("spaces only", "   ", other, "", "   ");
    row("semicolon comment", "; note", other, "", "; note");
    row("indented hash comment", "  # note", other, "", "  # note");
    row("header", "[Main]", header, "Main", "");
    row("header with spaces around", "  [Main]   ", header, "Main", "");
    row("header name takes anything", "[ a;#[= ]", header, " a;#[= ", "");
    row("empty header", "[]", header, "", "");
    row("unclosed header", "[Main x", header, "Main x", "");
    row("cyrillic header", "[Пути]", header, "Пути", "");
    bad("text after header", "[Main] x");
    bad("second bracket after header", "[Main]]");
    bad("tab after header", "[Main]\t");
    row("key", "Key=Value", key, "Key", "Value");
    row("value kept exactly", "  Key = Value ; c  ", key, "Key", " Value ; c  ");
    row("text between name and equals dropped", "Key junk = v", key, "Key", " v");
    row("later equals in value", "a==b", key, "a", "=b");
    row("empty value", "9=", key, "9", "");
    row("underscore first", "_x=1", key, "_x", "1");
    row("characters from underscore up", "a_`{|}~=1", key, "a_`{|}~", "1");
    row("cyrillic after first", "kЛюч=1", key, "kЛюч", "1");
    bad("cyrillic first", "Ключ=1");
    bad("tab first", "\tKey=1");
    bad("equals first", "=x");
    bad("minus first", "-x=1");
    bad("minus in name", "Key-x=1");
    bad("dot in name", "Key.x=1");
    bad("tab in name", "Key\t=1");
    bad("bracket in name", "a[b]=1");
    bad("no equals", "Key");
    bad("no equals after space", "Key junk");
}

void TestIniMngr::parseLine()
{
    QFETCH(QString, line);
    QFETCH(int, error);
    QFETCH(IniLineKind, kind);
    QFETCH(QString, name);
    QFETCH(QString, value);

    IniLineRecord record;
    QCOMPARE(ErrorOf([&] { record = ParseIniLine(line); }), error);
    if (error == 0) {
        QCOMPARE(record.kind, kind);
        QCOMPARE(record.name, name);
        QCOMPARE(record.value, value);
    }
}

void TestIniMngr::saveNormalForm_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("saved");

    QTest::newRow("key line") << QStringList{"[Main]", "  Key  junk  = v ; c"}
                              << QStringList{"[Main]", "Key= v ; c"};
    QTest::newRow("header spaces dropped") << QStringList{"  [Main]  "} << QStringList{"[Main]"};
    QTest::newRow("unclosed header closed") << QStringList{"[Main"} << QStringList{"[Main]"};
    QTest::newRow("comments and blanks kept")
        << QStringList{"  ; c", "", "   ", "# d"} << QStringList{"  ; c", "", "   ", "# d"};
}

void TestIniMngr::saveNormalForm()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, saved);
    CIniMngr ini;
    ini.LoadLines(lines);
    QCOMPARE(Saved(ini), saved);
}

void TestIniMngr::loadRefusesDuplicates_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("same key") << QStringList{"[Main]", "a=1", "a=2"};
    QTest::newRow("other letter case") << QStringList{"[Main]", "a=1", "A=2"};
    QTest::newRow("two headers") << QStringList{"[Main]", "a=1", "[x]", "[MAIN]", "A=2"};
    QTest::newRow("cyrillic case") << QStringList{"[Счёт]", "kёлка=1", "[СЧЁТ]", "KЁЛКА=2"};
    QTest::newRow("before any header") << QStringList{"a=1", "A=2"};
}

void TestIniMngr::loadRefusesDuplicates()
{
    QFETCH(QStringList, lines);
    CIniMngr ini;
    QCOMPARE(ErrorOf([&] { ini.LoadLines(lines); }), 457);
}

void TestIniMngr::lookupIgnoresLetterCase_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("written");
    QTest::newRow("as written") << "Main"
                                << "Participant"
                                << "Participant";
    QTest::newRow("latin case") << "MAIN"
                                << "participant"
                                << "Participant";
    QTest::newRow("cyrillic case") << "пУТИ"
                                   << "KПАПКА"
                                   << "kПапка";
    QTest::newRow("yo") << "СЧЁТ"
                        << "kёЛКА"
                        << "kЁлка";
}

void TestIniMngr::lookupIgnoresLetterCase()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, written);
    CIniMngr ini;
    ini.LoadLines({"[Main]", "Participant=p", "[Пути]", "kПапка=p", "[Счёт]", "kЁлка=p"});
    const QString combined = '[' + section + ']' + key;

    QVERIFY(ini.ValueExistsKey(combined));
    QVERIFY(ini.ValueExists(section, key));
    QVERIFY(ini.ValueExists(section, QString()));
    QCOMPARE(ini.ValueGet(section, key), "p");
    ini.Value(combined, "new");
    QCOMPARE(ini.Value(combined), "new");
    ini.ValueLet(section, key, "let");
    QCOMPARE(ini.ValueGet(section, key), "let");
    // Names stay as written.
    QVERIFY(Saved(ini).contains(written + "=let"));
}

void TestIniMngr::absentKeys()
{
    CIniMngr ini;
    ini.LoadLines({"[Main]", "a=1"});
    QCOMPARE(ErrorOf([&] { ini.Value("[Main]b"); }), 9);
    QCOMPARE(ErrorOf([&] { ini.Value("[Other]a", "x"); }), 9);
    QCOMPARE(ErrorOf([&] { ini.ValueGet("Main", "b"); }), 5);
    QCOMPARE(ErrorOf([&] { ini.ValueLet("Other", "a", "x"); }), 5);
    QVERIFY(!ini.ValueExists("Main", "b"));
    QVERIFY(!ini.ValueExists("Other", QString()));
    QCOMPARE(Saved(ini), QStringList({"[Main]", "a=1"}));
}

void TestIniMngr::keysBeforeFirstHeader()
{
    CIniMngr ini;
    ini.LoadLines({"a=1", "[Main]", "b=2"});
    // Each load starts outside any section.
    ini.LoadLines({"c=3"});
    QCOMPARE(ini.Value("[]a"), "1");
    QCOMPARE(ini.Value("[]C"), "3");
    QVERIFY(ini.ValueExists(QString(), "a"));
    QVERIFY(!ini.ValueExistsKey("[Main]c"));
    QVERIFY(!ini.ValueExists(QString(), QString()));
}

void TestIniMngr::valuesFollowEntryOrder()
{
    CIniMngr ini;
    ini.LoadLines({"z=0", "[Main]", "b=1", "[x]", "[MAIN]", "a=2"});
    ini.ValueAdd("main", "c", "3");
    const IniValueMap values = ini.Values();
    QCOMPARE(values.keys(), QStringList({"[]z", "[Main]b", "[MAIN]a", "[main]c"}));
    QCOMPARE(values.values(), QStringList({"0", "1", "2", "3"}));
    QVERIFY(values.contains("[MAIN]a"));
    QVERIFY(!values.contains("[Main]a")); // the map compares exactly
}

void TestIniMngr::valueAddToNewSection()
{
    CIniMngr ini;
    ini.LoadLines({"[Main]", "x=1"});
    ini.ValueAdd("New", "a", "1");
    ini.ValueAdd("NEW", "b", "2");
    ini.ValueAdd("Empty", QString(), QString());
    QCOMPARE(Saved(ini), QStringList({"[Main]", "x=1", "[New]", "b=2", "a=1", "[Empty]"}));
    QCOMPARE(ini.Value("[new]A"), "1");
    QVERIFY(ini.ValueExists("empty", QString()));
    QCOMPARE(ini.Count(), 6);
}

void TestIniMngr::valueAddToExistingSection()
{
    CIniMngr ini;
    ini.LoadLines({"; top", "[Main]", "a=1", "[Other]", "o=1", "[main]", "b=2"});
    ini.ValueAdd("MAIN", "c", "3");
    ini.ValueAdd("Other", "p", "4");
    QCOMPARE(Saved(ini), QStringList({"; top", "[Main]", "c=3", "a=1", "[Other]", "p=4", "o=1",
                                      "[main]", "b=2"}));
    // Lines loaded later still go to the end.
    ini.LoadLines({"tail=1"});
    QCOMPARE(Saved(ini).last(), "tail=1");
}

void TestIniMngr::valueAddRefusals()
{
    CIniMngr ini;
    ini.LoadLines({"k=0", "[Main]", "a=1"});
    const QStringList before = Saved(ini);
    QCOMPARE(ErrorOf([&] { ini.ValueAdd("Main", QString(), "x"); }), 5);
    QCOMPARE(ErrorOf([&] { ini.ValueAdd("MAIN", "A", "x"); }), 457);
    // The unnamed section of keys before any header has no header line to add under.
    QCOMPARE(ErrorOf([&] { ini.ValueAdd(QString(), "b", "x"); }), 457);
    QCOMPARE(Saved(ini), before);
    QCOMPARE(ini.Count(), 3);
    QCOMPARE(ini.Value("[Main]a"), "1");
}

void TestIniMngr::valueAddManyKeepsReverseOrder()
{
    CIniMngr ini;
    ini.LoadLines({"[Main]", "last=1", "[Next]"});
    constexpr int kAdded = 300;
    for (int i = 0; i < kAdded; ++i)
        ini.ValueAdd("Main", QString("k%1").arg(i), QString::number(i));
    const QStringList lines = Saved(ini);
    QCOMPARE(lines.size(), kAdded + 3);
    QCOMPARE(lines.first(), "[Main]");
    for (int i = 0; i < kAdded; ++i)
        QCOMPARE(lines.at(1 + i), QString("k%1=%1").arg(kAdded - 1 - i));
    QCOMPARE(lines.mid(kAdded + 1), QStringList({"last=1", "[Next]"}));
}

void TestIniMngr::loadSplitsAtEveryBreak()
{
    CIniMngr ini;
    ini.Load("[Main]\r\n\r\na=1\rb=2\n\nc=3");
    QCOMPARE(Saved(ini), QStringList({"[Main]", "a=1", "b=2", "c=3"}));
    QString text;
    ini.Save(text);
    QCOMPARE(text, "[Main]\r\na=1\r\nb=2\r\nc=3");
}

void TestIniMngr::trailingEmptyLineKeepsFinalBreak()
{
    CIniMngr ini;
    QString text;
    ini.Save(text);
    QCOMPARE(text, QString());
    QVERIFY(Saved(ini).isEmpty());

    ini.LoadLines(QString("[Main]\r\na=1\r\n").split("\r\n"));
    ini.Save(text);
    QCOMPARE(text, "[Main]\r\na=1\r\n");
}

void TestIniMngr::errorKeepsEarlierLines()
{
    CIniMngr ini;
    try {
        ini.LoadLines({"[Main]", "a=1", "bad-key=2", "c=3"});
        QFAIL("a malformed line must be refused");
    } catch (const IniError& error) {
        QCOMPARE(error.number(), 9);
        QVERIFY2(error.description().contains("3"), qPrintable(error.description()));
        QVERIFY2(error.description().contains("bad-key=2"), qPrintable(error.description()));
    }
    QCOMPARE(Saved(ini), QStringList({"[Main]", "a=1"}));
    QVERIFY(!ini.ValueExistsKey("[Main]c"));
}

void TestIniMngr::clearEmptiesEverything()
{
    CIniMngr ini;
    ini.LoadLines({"[Main]", "a=1"});
    ini.Clear();
    QCOMPARE(ini.Count(), 0);
    QVERIFY(!ini.ValueExists("Main", QString()));
    QVERIFY(ini.Values().isEmpty());
    ini.LoadLines({"[Main]", "a=2"}); // no duplicate left behind
    QCOMPARE(ini.Value("[Main]a"), "2");
}

void TestIniMngr::valueKeyParce_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("param");
    QTest::newRow("combined") << "[Main]Participant" << 0 << "Main"
                              << "Participant";
    QTest::newRow("no brackets") << "Key_1" << 0 << ""
                                 << "Key_1";
    QTest::newRow("empty section") << "[]Key" << 0 << ""
                                   << "Key";
    QTest::newRow("cyrillic") << "[Пути]kПапка" << 0 << "Пути"
                              << "kПапка";
    QTest::newRow("section only") << "[Main]" << 0 << "Main"
                                  << "";
    QTest::newRow("bracket after name") << "Key[Main]" << 9 << ""
                                        << "";
    QTest::newRow("bracket inside") << "[Ma[in]Key" << 9 << ""
                                    << "";
    QTest::newRow("second section") << "[a]k[b]" << 9 << ""
                                    << "";
    QTest::newRow("closing without opening") << "Main]Key" << 9 << ""
                                             << "";
    QTest::newRow("space") << "[Main]Key x" << 9 << ""
                           << "";
    QTest::newRow("minus") << "[Ma-in]Key" << 9 << ""
                           << "";
    QTest::newRow("unclosed") << "[Main" << 9 << ""
                              << "";
}

void TestIniMngr::valueKeyParce()
{
    QFETCH(QString, key);
    QFETCH(int, error);
    QFETCH(QString, section);
    QFETCH(QString, param);
    QString gotSection;
    QString gotParam;
    QCOMPARE(ErrorOf([&] { CIniMngr::ValueKeyParce(key, gotSection, gotParam); }), error);
    if (error == 0) {
        QCOMPARE(gotSection, section);
        QCOMPARE(gotParam, param);
    }
}

QTEST_APPLESS_MAIN(TestIniMngr)
#include "tst_inimngr.moc"
