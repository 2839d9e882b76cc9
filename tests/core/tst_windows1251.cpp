#include "core/Windows1251.h"

#include <QStringDecoder>
#include <QtTest>

using namespace varnel;

class TestWindows1251 : public QObject {
    Q_OBJECT
private slots:
    void everyByteAsTheSystemConverterReadsIt();
    void noOtherCharacterHasAByte();
    void textWithCharactersTheCodePageLacks_data();
    void textWithCharactersTheCodePageLacks();
};

void TestWindows1251::everyByteAsTheSystemConverterReadsIt()
{
    QStringDecoder system("windows-1251");
    if (!system.isValid())
        QSKIP("this Qt has no windows-1251 converter");
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        all.append(byte);
        const QString mine = FromWindows1251(byte);
        QCOMPARE(mine, system.decode(byte));
        system.resetState();
        bool ok = false;
        QCOMPARE(ToWindows1251(mine.at(0).unicode(), &ok), char(b));
        QVERIFY(ok);
        QCOMPARE(Windows1251Byte(mine.at(0).unicode()), static_cast<unsigned char>(b));
    }
    QCOMPARE(ToWindows1251(FromWindows1251(all), '?'), all);
}

void TestWindows1251::noOtherCharacterHasAByte()
{
    int mapped = 0;
    for (int c = 0; c < 0x10000; ++c) {
        bool ok = false;
        const char b = ToWindows1251(char16_t(c), &ok);
        if (!ok) {
            QCOMPARE(b, '\0');
            continue;
        }
        ++mapped;
        QCOMPARE(FromWindows1251(QByteArrayView(&b, 1)), QString(QChar(c)));
    }
    QCOMPARE(mapped, 256);
}

void TestWindows1251::textWithCharactersTheCodePageLacks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("all held") << QStringLiteral("Ёж №5 €")
                              << QByteArray("\xA8\xE6 \xB9"
                                            "5 \x88");
    QTest::newRow("NUL is a byte") << QString(QChar(0)) + u'a' << QByteArray("\0a", 2);
    QTest::newRow("Chinese") << QStringLiteral("a漢b") << QByteArray("a?b");
    QTest::newRow("pair is one character") << QStringLiteral("a😀b") << QByteArray("a?b");
    QTest::newRow("lone high half") << QString(u'a') + QChar(0xD83D) << QByteArray("a?");
    QTest::newRow("lone low half") << QString(QChar(0xDE00)) + u'b' << QByteArray("?b");
}

void TestWindows1251::textWithCharactersTheCodePageLacks()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ToWindows1251(text, '?'), bytes);
}

QTEST_GUILESS_MAIN(TestWindows1251)
#include "tst_windows1251.moc"
