#include "core/Error.h"
#include "core/XmlLoad.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

using namespace varnel;

namespace {

using Attributes = QList<QPair<QString, QString>>;

QByteArray Cp1251(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

QByteArray Utf16(const QString& text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (QChar c : text) {
        const char hi = char(c.unicode() >> 8);
        const char lo = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? hi : lo);
        bytes.append(bigEndian ? lo : hi);
    }
    return bytes;
}

QString FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& e) {
        return QString::number(e.number()) + u' ' + e.description();
    }
    return QStringLiteral("no failure");
}

// Everything the streaming reader gives for a file: root first, then the children.
QList<XmlElement> ReadAll(const QString& path)
{
    XmlChildReader reader(path);
    QList<XmlElement> all{reader.root()};
    XmlElement child;
    while (reader.next(child))
        all.append(child);
    return all;
}

QList<XmlElement> DomElements(const QString& path)
{
    const XmlDocument doc = XmlDocument::Load(path);
    QList<XmlElement> all{XmlElementOf(doc.root())};
    for (_xmlNode* child : XmlChildElements(doc.root()))
        all.append(XmlElementOf(child));
    return all;
}

// The same through the subtree reader, in slices of two children: the root of the first
// slice, then every child of every slice.
QList<XmlElement> SubtreeElements(const QString& path)
{
    XmlSubtreeReader reader(path, XmlLoadOptions());
    QList<XmlElement> all;
    for (xmlDocPtr slice; (slice = reader.next(2));) {
        if (all.isEmpty())
            all.append(XmlElementOf(xmlDocGetRootElement(slice)));
        for (_xmlNode* child : XmlChildElements(xmlDocGetRootElement(slice)))
            all.append(XmlElementOf(child));
        xmlFreeDoc(slice);
    }
    if (all.isEmpty()) {
        // A root without children: the root alone.
        XmlSubtreeReader again(path, XmlLoadOptions());
        xmlDocPtr head = again.next(0);
        all.append(XmlElementOf(xmlDocGetRootElement(head)));
        xmlFreeDoc(head);
    }
    return all;
}

QString Expected(const QString& path, const QString& reason, int line, int column)
{
    return QStringLiteral("514 Ошибка загрузки файла ") + path + QStringLiteral(": \r\n") + reason +
           QStringLiteral("\r\nСтрока: ") + QString::number(line) + QStringLiteral(", поз: ") +
           QString::number(column);
}

int g_foreignReports = 0;
void ForeignHandler(void*, xmlErrorPtr)
{
    ++g_foreignReports;
}

} // namespace

class TestXmlLoad : public QObject {
    Q_OBJECT
private slots:
    void init();

    void missingFileIsNotFound_data();
    void missingFileIsNotFound();
    void refusedDocuments_data();
    void refusedDocuments();
    void hostileDocumentsStopAtTheDoctype_data();
    void hostileDocumentsStopAtTheDoctype();
    void failureAfterChildrenComesFromNext();
    void declaredEncodingsAreHonoured_data();
    void declaredEncodingsAreHonoured();
    void readerGivesDirectChildrenInOrder_data();
    void readerGivesDirectChildrenInOrder();
    void readerCrossesReadBoundaries();
    void documentDropsBlankTextAndKeepsCdataAsText();
    void loadsLeaveNoHandlersBehind();
    void errorTextDropsLineBreaksOfTheReason_data();
    void errorTextDropsLineBreaksOfTheReason();
    void bigFilesAreForTheStreamingReader();
    void bigFilesParsedAsideGiveWhatSmallOnesGive();
    void subtreesComeInSlicesThatStandAlone();
    void startTagsWithTooManyAttributes_data();
    void startTagsWithTooManyAttributes();

private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir dir_;
};

void TestXmlLoad::init()
{
    QVERIFY(dir_.isValid());
}

QString TestXmlLoad::write(const QString& name, const QByteArray& bytes)
{
    const QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

void TestXmlLoad::missingFileIsNotFound_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("absent file") << "нет такого.xml";
    QTest::newRow("folder") << "folder";
}

void TestXmlLoad::missingFileIsNotFound()
{
    QFETCH(QString, name);
    QDir(dir_.path()).mkdir("folder");
    const QString path = dir_.filePath(name);
    const QString expected = QStringLiteral("514 Файл ") + path + QStringLiteral(" не найден");
    QCOMPARE(FailureOf([&] { XmlDocument::Load(path); }), expected);
    QCOMPARE(FailureOf([&] { XmlChildReader reader(path); }), expected);
}

void TestXmlLoad::refusedDocuments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");

    const QByteArray decl = "<?xml version=\"1.0\"?>\r\n";
    QTest::newRow("doctype after a comment")
        << decl + "<!-- c -->  <!DOCTYPE r [\r\n<!ENTITY a \"aaaa\">\r\n]><r>&a;</r>"
        << "DTD is prohibited." << 2 << 13;
    QTest::newRow("doctype spread over lines")
        << decl + "<!DOCTYPE r\r\n  SYSTEM \"http://127.0.0.1:9/r.dtd\"><r/>"
        << "DTD is prohibited." << 2 << 1;
    QTest::newRow("doctype in UTF-16")
        << Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n  <!DOCTYPE r><r/>", false)
        << "DTD is prohibited." << 2 << 3;
    QTest::newRow("bytes windows-1251 cannot hold")
        << "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<r a=\"" + Cp1251("При") + "\x98" +
               Cp1251("вет\"/>")
        << "input conversion failed due to input error, bytes 0x98 0xE2 0xE5 0xF2" << 2 << 10;
    QTest::newRow("bytes UTF-8 cannot hold")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n <c a=\"\xC3\x28\"/></r>")
        << "Input is not proper UTF-8, indicate encoding !\nBytes: 0xC3 0x28 0x22 0x2F" << 3 << 8;
    QTest::newRow("unknown encoding")
        << QByteArray("<?xml version=\"1.0\" encoding=\"x-nonesuch\"?><r/>")
        << "Unsupported encoding x-nonesuch" << 1 << 42;
    QTest::newRow("undeclared entity")
        << QByteArray("<r><c>&foo;</c></r>") << "Entity 'foo' not defined" << 1 << 12;
    QTest::newRow("mismatched end tag")
        << QByteArray("<r>\n<c></r>") << "Opening and ending tag mismatch: c line 2 and r" << 2
        << 8;
    QTest::newRow("second top element")
        << QByteArray("<r/><s/>") << "Extra content at the end of the document" << 1 << 5;
    QTest::newRow("unfinished document")
        << QByteArray("<r><c/>") << "Premature end of data in tag r line 1" << 1 << 8;
    QTest::newRow("document cut inside a child")
        << QByteArray("<r>\n<c a=\"1\">\n<d>text") << "Premature end of data in tag d line 3" << 3
        << 8;
    QTest::newRow("undeclared prefix")
        << QByteArray("<r><p:c/></r>") << "Namespace prefix p on c is not defined" << 1 << 8;
    QTest::newRow("nesting too deep")
        << QByteArray("<r>").repeated(300)
        << "Excessive depth in document: 256 use XML_PARSE_HUGE option" << 1 << 774;
    QTest::newRow("empty file") << QByteArray() << "Document is empty" << 1 << 1;
    // Half a UTF-16 character at the end is refused like any other undecodable byte.
    QTest::newRow("UTF-16LE, odd byte at the end")
        << Utf16("<r>\n<c/></r>", false) + "x"
        << "Incomplete character at the end of the input, bytes 0x78" << 2 << 9;
    QTest::newRow("UTF-16BE declared, odd byte at the end")
        << Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>", true) + "\n"
        << "Incomplete character at the end of the input, bytes 0x0A" << 1 << 44;
    QTest::newRow("declaration only")
        << QByteArray("<?xml version=\"1.0\"?>\n") << "Document is empty" << 2 << 1;
}

void TestXmlLoad::refusedDocuments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(int, line);
    QFETCH(int, column);
    const QString path = write(QStringLiteral("отказ.xml"), bytes);
    const QString expected = Expected(path, reason, line, column);
    QCOMPARE(FailureOf([&] { XmlDocument::Load(path); }), expected);
    QCOMPARE(FailureOf([&] { ReadAll(path); }), expected);
    QCOMPARE(FailureOf([&] { SubtreeElements(path); }), expected);
    QCOMPARE(FailureOf([&] { XmlCountChildren(path); }), expected);
}

void TestXmlLoad::hostileDocumentsStopAtTheDoctype_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i < 40; ++i)
        laughs += QStringLiteral("<!ENTITY lol%1 \"&lol%2;&lol%2;&lol%2;&lol%2;&lol%2;&lol%2;\">\n")
                      .arg(i)
                      .arg(i - 1)
                      .toLatin1();
    laughs += "]>\n<lolz a=\"&lol39;\">&lol39;</lolz>";
    QTest::newRow("billion laughs") << laughs;

    const QString secret = dir_.filePath("secret.txt");
    write("secret.txt", "SECRET");
    QTest::newRow("external entity")
        << ("<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" +
            QFile::encodeName(secret) + "\">]>\n<r a=\"&x;\">&x;</r>");
    QTest::newRow("external parameter entity")
        << ("<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" +
            QFile::encodeName(secret) + "\"> %p;]>\n<r/>");
}

void TestXmlLoad::hostileDocumentsStopAtTheDoctype()
{
    QFETCH(QByteArray, bytes);
    const QString path = write("hostile.xml", bytes);
    const QString expected = Expected(path, "DTD is prohibited.", 2, 1);
    QCOMPARE(FailureOf([&] { XmlDocument::Load(path); }), expected);
    QCOMPARE(FailureOf([&] { ReadAll(path); }), expected);
    QCOMPARE(FailureOf([&] { SubtreeElements(path); }), expected);
}

void TestXmlLoad::failureAfterChildrenComesFromNext()
{
    QByteArray bytes = "<r>";
    for (int i = 0; i < 2000; ++i)
        bytes += "<c n=\"" + QByteArray::number(i) + "\"/>\n";
    bytes += "<c n=\"x\"></r>";
    const QString path = write("broken-tail.xml", bytes);

    XmlChildReader reader(path);
    XmlElement child;
    int read = 0;
    const QString failure = FailureOf([&] {
        while (reader.next(child)) {
            QCOMPARE(child.attribute("n"), QString::number(read));
            ++read;
        }
    });
    QVERIFY(read >= 1000);
    QCOMPARE(failure,
             Expected(path, "Opening and ending tag mismatch: c line 2001 and r", 2001, 14));
}

void TestXmlLoad::declaredEncodingsAreHonoured_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QString body =
        QStringLiteral("<Справочник Имя=\"Облигации «ОФЗ»\">\r\n"
                       "  <Бумага Код=\"SU26207\" Название=\"ОФЗ-ПД 26207 ёЁ\"/>\r\n"
                       "</Справочник>");
    QTest::newRow("windows-1251") << "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n" +
                                         Cp1251(body);
    QTest::newRow("windows-1251 in capitals")
        << "<?xml version=\"1.0\" encoding=\"WINDOWS-1251\"?>\r\n" + Cp1251(body);
    QTest::newRow("UTF-8 declared")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body.toUtf8();
    QTest::newRow("UTF-8 without declaration") << body.toUtf8();
    QTest::newRow("UTF-8 with byte-order mark") << "\xEF\xBB\xBF" + body.toUtf8();
    QTest::newRow("UTF-16LE with byte-order mark")
        << Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n" + body, false);
    QTest::newRow("UTF-16BE with byte-order mark")
        << Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n" + body, true);
}

void TestXmlLoad::declaredEncodingsAreHonoured()
{
    QFETCH(QByteArray, bytes);
    const QString path = write("encoded.xml", bytes);
    const QList<XmlElement> expected{
        {"Справочник", Attributes{{"Имя", "Облигации «ОФЗ»"}}},
        {"Бумага", Attributes{{"Код", "SU26207"}, {"Название", "ОФЗ-ПД 26207 ёЁ"}}}};
    const QList<XmlElement> read = ReadAll(path);
    const QList<XmlElement> dom = DomElements(path);
    QCOMPARE(read.size(), expected.size());
    QCOMPARE(dom.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(read[i].name, expected[i].name);
        QCOMPARE(read[i].attributes, expected[i].attributes);
        QCOMPARE(dom[i].name, expected[i].name);
        QCOMPARE(dom[i].attributes, expected[i].attributes);
    }
}

void TestXmlLoad::readerGivesDirectChildrenInOrder_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected"); // name|attr=value|...

    QTest::newRow("attributes in document order")
        << QByteArray("<r z=\"1\" a=\"2\"><c b=\"1\" a=\"2\" c=\"3\"/><d/></r>")
        << QStringList{"r|z=1|a=2", "c|b=1|a=2|c=3", "d"};
    QTest::newRow("references resolved, nothing doubled")
        << QByteArray("<r><c v=\"a&amp;b&#38;c&lt;&gt;&quot;&apos;&#x41;&amp;amp;&#38;#38;\"/></r>")
        << QStringList{"r", "c|v=a&b&c<>\"'A&amp;&#38;"};
    QTest::newRow("blanks in values normalised")
        << QByteArray("<r><c v=\"a\tb\nc\r\nd\"/></r>") << QStringList{"r", "c|v=a b c d"};
    QTest::newRow("deeper elements, text, comments and instructions skipped")
        << QByteArray("<?xml version=\"1.0\"?><!-- top --><r>text<c n=\"1\"><g n=\"x\"><h/></g>"
                      "</c><!-- c --><?pi data?><![CDATA[<no/>]]><c n=\"2\">t</c></r><!-- end -->")
        << QStringList{"r", "c|n=1", "c|n=2"};
    QTest::newRow("namespace declarations first, names qualified")
        << QByteArray("<p:r a=\"1\" xmlns:p=\"urn:p\" xmlns=\"urn:d\"><p:c p:k=\"v\"/><c/></p:r>")
        << QStringList{"p:r|xmlns:p=urn:p|xmlns=urn:d|a=1", "p:c|p:k=v", "c"};
    QTest::newRow("root without children") << QByteArray("<r a=\"\"/>") << QStringList{"r|a="};
    // A value may start with U+FEFF like with any other character.
    QTest::newRow("value starting with U+FEFF")
        << QByteArray("<r><c v=\"&#xFEFF;x\" w=\"\xEF\xBB\xBF&#xFEFF;y\"/></r>")
        << QStringList{"r", QStringLiteral("c|v=\uFEFFx|w=\uFEFF\uFEFFy")};
}

void TestXmlLoad::readerGivesDirectChildrenInOrder()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    const QString path = write("order.xml", bytes);
    auto flatten = [](const QList<XmlElement>& elements) {
        QStringList out;
        for (const XmlElement& e : elements) {
            QString s = e.name;
            for (const auto& a : e.attributes)
                s += u'|' + a.first + u'=' + a.second;
            out << s;
        }
        return out;
    };
    QCOMPARE(flatten(ReadAll(path)), expected);
    QCOMPARE(flatten(DomElements(path)), expected);
    QCOMPARE(flatten(SubtreeElements(path)), expected);
    QCOMPARE(XmlCountChildren(path), expected.size() - 1);
}

void TestXmlLoad::readerCrossesReadBoundaries()
{
    // Large enough for many read steps; Cyrillic (two bytes each once converted) lands on
    // every kind of boundary.
    QString body =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Строки>\r\n");
    for (int i = 0; i < 5000; ++i)
        body +=
            QStringLiteral("<Строка Номер=\"%1\" Текст=\"Значение №%1 &amp; ещё\"/>\r\n").arg(i);
    body += QStringLiteral("</Строки>\r\n");
    const QString path = write("rows.xml", Cp1251(body));

    XmlChildReader reader(path);
    QCOMPARE(reader.root().name, QString("Строки"));
    XmlElement row;
    int n = 0;
    while (reader.next(row)) {
        QCOMPARE(row.name, QString("Строка"));
        QCOMPARE(row.attribute("Номер"), QString::number(n));
        QCOMPARE(row.attribute("Текст"), QStringLiteral("Значение №%1 & ещё").arg(n));
        QVERIFY(!row.hasAttribute("текст"));
        ++n;
    }
    QCOMPARE(n, 5000);
    QVERIFY(!reader.next(row));
}

void TestXmlLoad::documentDropsBlankTextAndKeepsCdataAsText()
{
    const QString path = write("dom.xml", "<r>\n  <a x=\"1\"><![CDATA[<b>]]></a>\n  <b/>\n</r>");
    XmlDocument doc = XmlDocument::Load(path);
    _xmlNode* root = doc.root();
    QCOMPARE(XmlNodeName(root), QString("r"));
    int nodes = 0;
    for (xmlNode* c = root->children; c; c = c->next)
        ++nodes;
    QCOMPARE(nodes, 2);
    const QList<_xmlNode*> children = XmlChildElements(root);
    QCOMPARE(children.size(), 2);
    QCOMPARE(XmlAttribute(children[0], "x"), QString("1"));
    QVERIFY(XmlHasAttribute(children[0], "x"));
    QVERIFY(!XmlHasAttribute(children[0], "X"));
    QCOMPARE(children[0]->children->type, XML_TEXT_NODE);
    xmlChar* text = xmlNodeGetContent(children[0]);
    QCOMPARE(QString::fromUtf8(reinterpret_cast<char*>(text)), QString("<b>"));
    xmlFree(text);

    XmlDocument moved = std::move(doc);
    QVERIFY(!doc.root());
    QCOMPARE(XmlNodeName(moved.root()), QString("r"));
}

void TestXmlLoad::loadsLeaveNoHandlersBehind()
{
    g_foreignReports = 0;
    xmlSetStructuredErrorFunc(nullptr, ForeignHandler);
    const QString bad =
        write("bad.xml", "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r a=\"\x98\"/>");
    QVERIFY(FailureOf([&] { XmlDocument::Load(bad); }).contains("input conversion failed"));
    QVERIFY(FailureOf([&] { ReadAll(bad); }).contains("input conversion failed"));
    const QString good = write("good.xml", "<r/>");
    QCOMPARE(XmlNodeName(XmlDocument::Load(good).root()), QString("r"));
    QCOMPARE(g_foreignReports, 0);
    QCOMPARE((void*)xmlStructuredError, (void*)ForeignHandler);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

void TestXmlLoad::errorTextDropsLineBreaksOfTheReason_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("shown");
    QTest::newRow("CR LF pairs") << "Bad\r\n name\r\n"
                                 << "Bad name";
    QTest::newRow("trailing LF") << "Tag mismatch\n"
                                 << "Tag mismatch";
    QTest::newRow("inner LF kept") << "First\nSecond\n"
                                   << "First\nSecond";
}

void TestXmlLoad::errorTextDropsLineBreaksOfTheReason()
{
    QFETCH(QString, reason);
    QFETCH(QString, shown);
    QCOMPARE(XmlLoadErrorText("C:\\a.xml", reason, 3, 14),
             QStringLiteral("Ошибка загрузки файла C:\\a.xml: \r\n") + shown +
                 QStringLiteral("\r\nСтрока: 3, поз: 14"));
}

// A whole document takes many times its file in memory: beyond its limit the document loader
// refuses a file, naming its size and the limit, before reading it; the streaming reader
// reads the same file.
void TestXmlLoad::bigFilesAreForTheStreamingReader()
{
    const QString path = dir_.filePath("big.xml");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<r>\n");
        const QByteArray row = "<c a=\"" + QByteArray(200, 'v') + "\"/>\n";
        qint64 rows = 0;
        while (file.size() <= kXmlDocumentMaxBytes) {
            file.write(row.repeated(1000));
            rows += 1000;
        }
        file.write("</r>\n");
        file.close();
        XmlChildReader reader(path);
        XmlElement child;
        qint64 read = 0;
        while (reader.next(child))
            ++read;
        QCOMPARE(read, rows);
    }
    const qint64 size = QFileInfo(path).size();
    QCOMPARE(FailureOf([&] { XmlDocument::Load(path); }),
             QStringLiteral("514 Ошибка загрузки файла ") + path +
                 QStringLiteral(": \r\nРазмер файла ") + QString::number(size) +
                 QStringLiteral(" байт больше допустимого (16777216 байт)"));
    // A caller that shows big documents gives a limit of its own, which its refusal names; the
    // load reports its progress up to the whole file.
    XmlLoadOptions options;
    options.maxBytes = size - 1;
    QCOMPARE(FailureOf([&] { XmlSubtreeReader(path, options); }),
             QStringLiteral("514 Ошибка загрузки файла ") + path +
                 QStringLiteral(": \r\nРазмер файла ") + QString::number(size) +
                 QStringLiteral(" байт больше допустимого (") + QString::number(size - 1) +
                 QStringLiteral(" байт)"));
    options.maxBytes = size;
    qint64 reported = 0;
    options.progress = [&](qint64 read, qint64 total) {
        QVERIFY(read >= reported && total == size);
        reported = read;
    };
    QVERIFY(XmlDocument::Load(path, options).root());
    QCOMPARE(reported, size);
    // A file of the limit itself is parsed (here it is cut short, which the parser reports).
    QVERIFY(QFile::resize(path, kXmlDocumentMaxBytes));
    const QString cut = FailureOf([&] { XmlDocument::Load(path); });
    QVERIFY2(cut.contains(QStringLiteral("Строка: ")) && !cut.contains(QStringLiteral("Размер")),
             qPrintable(cut));
}

// A file big enough to be parsed on the reader's own thread gives what a small one gives:
// every child in order with its namespace declarations, references and U+FEFF; a failure at
// its end after the children before it, in the words and at the place the parse always gives;
// and a reader left early ends at once.
void TestXmlLoad::bigFilesParsedAsideGiveWhatSmallOnesGive()
{
    const auto document = [](int children, const QByteArray& tail) {
        QByteArray bytes = "<p:r xmlns:p=\"urn:p\">\n";
        for (int i = 0; i < children; ++i)
            bytes += "<p:c n=\"" + QByteArray::number(i) +
                     "\" p:k=\"a&amp;b&#38;c\" v=\"&#xFEFF;x\" xmlns:q=\"urn:q\"><g n=\"x\"/>"
                     "</p:c>\n";
        return bytes + tail;
    };
    const auto flat = [](const XmlElement& e) {
        QString s = e.name;
        for (const auto& a : e.attributes)
            s += u'|' + a.first + u'=' + a.second;
        return s;
    };
    const QList<XmlElement> small = ReadAll(write("small.xml", document(3, "</p:r>")));
    QCOMPARE(small.size(), 4);
    QCOMPARE(flat(small.at(1)), QStringLiteral("p:c|xmlns:q=urn:q|n=0|p:k=a&b&c|v=\uFEFFx"));

    const int count = 40000; // some 3.6 MB
    const QString whole = write("whole.xml", document(count, "</p:r>"));
    QVERIFY(QFileInfo(whole).size() > 3 * 1024 * 1024);
    {
        XmlChildReader reader(whole);
        QCOMPARE(reader.root().name, QStringLiteral("p:r"));
        XmlElement child;
        int read = 0;
        while (reader.next(child)) {
            QString expected = flat(small.at(1));
            expected.replace(QStringLiteral("|n=0|"), QStringLiteral("|n=%1|").arg(read));
            QCOMPARE(flat(child), expected);
            ++read;
        }
        QCOMPARE(read, count);
        QVERIFY(!reader.next(child));
    }

    const QString broken = write("broken.xml", document(count, "<p:c n=\"x\"></p:r>"));
    const QString expected = FailureOf([&] { XmlCountChildren(broken); });
    QVERIFY2(expected.contains(QStringLiteral("Opening and ending tag mismatch")),
             qPrintable(expected));
    XmlChildReader reader(broken);
    XmlElement child;
    int read = 0;
    const QString failure = FailureOf([&] {
        while (reader.next(child)) {
            QCOMPARE(child.attribute("n"), QString::number(read));
            ++read;
        }
    });
    QCOMPARE(failure, expected);
    QVERIFY(read > count - 1000 && read <= count);

    // Left after a few children, with the parse aside far from the end.
    XmlChildReader early(whole);
    for (int i = 0; i < 1000; ++i)
        QVERIFY(early.next(child));
    QCOMPARE(child.attribute("n"), QStringLiteral("999"));
}

// Slices of a document read in steps: each holds a copy of the root with its attributes and
// namespaces and the next children in order (with what stands between them), stands alone once
// the reader is gone, and the last ends the document.
void TestXmlLoad::subtreesComeInSlicesThatStandAlone()
{
    QByteArray bytes = "<?xml version=\"1.0\"?>\n<p:r xmlns:p=\"urn:p\" n=\"root\">\n";
    for (int i = 0; i < 3000; ++i)
        bytes += "<p:c n=\"" + QByteArray::number(i) + "\"><p:g p:k=\"" + QByteArray::number(i) +
                 "\">text " + QByteArray::number(i) + "</p:g></p:c><!-- " + QByteArray::number(i) +
                 " -->\n";
    bytes += "</p:r>\n";
    const QString path = write("slices.xml", bytes);

    QList<xmlDocPtr> slices;
    {
        XmlSubtreeReader reader(path, XmlLoadOptions());
        slices << reader.next(0);
        for (xmlDocPtr slice; (slice = reader.next(700));)
            slices << slice;
    }
    QCOMPARE(slices.size(), 1 + 5);
    int next = 0;
    int comments = 0;
    for (int i = 0; i < slices.size(); ++i) {
        _xmlNode* root = xmlDocGetRootElement(slices[i]);
        QCOMPARE(XmlElementOf(root).attributes, (Attributes{{"xmlns:p", "urn:p"}, {"n", "root"}}));
        QCOMPARE(XmlNodeName(root), QString("p:r"));
        const QList<_xmlNode*> children = XmlChildElements(root);
        QCOMPARE(children.size(), i == 0 ? 0 : i < 5 ? 700 : 200);
        for (xmlNode* c = root->children; c; c = c->next)
            comments += c->type == XML_COMMENT_NODE;
        for (_xmlNode* child : children) {
            QCOMPARE(XmlAttribute(child, "n"), QString::number(next));
            _xmlNode* inner = XmlChildElements(child).first();
            QCOMPARE(XmlAttribute(inner, "p:k"), QString::number(next));
            QVERIFY(inner->ns && xmlStrEqual(inner->ns->href, BAD_CAST "urn:p"));
            xmlChar* text = xmlNodeGetContent(inner);
            QCOMPARE(QString::fromUtf8(reinterpret_cast<char*>(text)),
                     QStringLiteral("text %1").arg(next));
            xmlFree(text);
            ++next;
        }
        xmlFreeDoc(slices[i]);
    }
    QCOMPARE(next, 3000);
    QCOMPARE(comments, 3000);
}

// A start tag with more attributes than any document has is refused before the parser, whose
// time grows with their square, sees it: by both loaders, with the tag's line and column. What
// only looks like attributes (in values, comments, CDATA, instructions, the document type
// declaration) counts for nothing.
void TestXmlLoad::startTagsWithTooManyAttributes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("utf16");
    QTest::addColumn<QString>("failure"); // empty: loaded
    const auto attributes = [](int count, const QByteArray& pattern) {
        QByteArray all;
        for (int i = 0; i < count; ++i)
            all += QByteArray(pattern).replace("%N", QByteArray::number(i));
        return all;
    };
    const QByteArray head = "<?xml version=\"1.0\"?>\n<r>\n  ";
    const QString refused =
        QStringLiteral("Element c has more than 1024 attributes\r\nСтрока: 3, поз: 3");
    QTest::newRow("1024") << head + "<c " + attributes(1024, " a%N=''") + "/></r>" << false << "";
    QTest::newRow("1025") << head + "<c " + attributes(1025, " a%N=''") + "/></r>" << false
                          << refused;
    QTest::newRow("200,000, two minutes of parsing")
        << head + "<c " + attributes(200000, " a%N=\"\"") + "/></r>" << false << refused;
    QTest::newRow("UTF-16") << head + "<c " + attributes(1025, " a%N=''") + "/></r>" << true
                            << refused;
    // The place counts characters over text and values of several lines.
    QTest::newRow("after text and a value over lines")
        << "<?xml version=\"1.0\"?>\n<r "
           "a=\"x\n\xD0\xB4\">\xD0\x9F\xD1\x80\xD0\xB8\n\xD0\xBC\xD0\xB8\xD1\x80 <c " +
               attributes(1025, " a%N='\xD0\xB4'") + "/></r>"
        << false << QStringLiteral("Element c has more than 1024 attributes\r\nСтрока: 4, поз: 5");
    // Markup the guard could not read is refused too.
    QTest::newRow("declared EBCDIC")
        << QByteArray("<?xml version=\"1.0\" encoding=\"IBM037\"?>\n<r/>") << false
        << "Encoding IBM037 is not read\r\nСтрока: 1, поз: 1";
    QTest::newRow("declared UTF-7") << QByteArray("<?xml version='1.0' encoding='UTF-7'?><r/>")
                                    << false << "Encoding UTF-7 is not read\r\nСтрока: 1, поз: 1";
    QTest::newRow("EBCDIC by its first bytes")
        << QByteArray("\x4C\x6F\xA7\x94\x40\xA5\x85\x99") << false
        << "EBCDIC documents are not read\r\nСтрока: 1, поз: 1";
    QTest::newRow("Windows-1251 and a byte-order mark")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><r a=''/>") << false
        << "";
    const QByteArray lookalikes = attributes(2000, " a%N=''");
    QTest::newRow("in a value, a comment, CDATA, an instruction")
        << head + "<c v=\"" + lookalikes + "\"><!--" + lookalikes + "--><![CDATA[<d" + lookalikes +
               ">]]><?pi " + lookalikes + "?></c></r>"
        << false << "";
}

void TestXmlLoad::startTagsWithTooManyAttributes()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, utf16);
    QFETCH(QString, failure);
    if (utf16)
        text =
            Utf16(QString::fromLatin1(text).replace("1.0\"", "1.0\" encoding=\"UTF-16\""), false);
    const QString path = write("many.xml", text);
    const QString expected = failure.isEmpty() ? QStringLiteral("no failure")
                                               : QStringLiteral("514 Ошибка загрузки файла ") +
                                                     path + QStringLiteral(": \r\n") + failure;
    QCOMPARE(FailureOf([&] { XmlDocument::Load(path); }), expected);
    QCOMPARE(FailureOf([&] { ReadAll(path); }), expected);
}

QTEST_GUILESS_MAIN(TestXmlLoad)
#include "tst_xmlload.moc"
