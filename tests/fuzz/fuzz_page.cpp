// A page of the viewer from a message and the stylesheet it brings (the bytes before the first
// NUL are the message, those after it the stylesheet, which the message names): the document
// loader, the stylesheet loader with its imports, includes and document() reads, the transform
// and the tree page. Beside the stylesheet lie a pipe, a link to an endless device and a file
// beyond the read limit. Whatever the bytes, the page is made (or the message refused by the
// loading rule, or the page refused beyond its budget) within the run's limits, and a
// stylesheet left unapplied says why. The same page is made once more into a sink that keeps
// its parts apart, as the viewer's windows of rows do: the parts come in order, each beginning
// where the one before ended, and the heading with their number once (after one made before they
// were counted).

#include "FuzzSupport.h"
#include "core/Error.h"
#include "viewer/XslTransform.h"

#include <QFile>

#include <libxml/tree.h>

#include <cstdint>

#include <sys/stat.h>

using namespace varnel;

namespace {

const QString& Folder()
{
    static const QString folder = [] {
        const QString f = fuzz::ScratchFolder();
        fuzz::WriteFile(f + QStringLiteral("/data.xml"), "<d v=\"1\"/>", 10);
        const QByteArray big = "<d v=\"" + QByteArray(70000, 'x') + "\"/>";
        fuzz::WriteFile(f + QStringLiteral("/big.xml"), big.constData(), size_t(big.size()));
        ::mkfifo(QFile::encodeName(f + QStringLiteral("/pipe.xml")).constData(), 0600);
        QFile::link(QStringLiteral("/dev/zero"), f + QStringLiteral("/zero.xml"));
        return f;
    }();
    return folder;
}

class PartsSink : public PageSink {
public:
    void write(const char*, qint64 size) override { written += size; }
    bool takesParts() const override { return true; }
    void part(qint64 first, const _xmlNode* rows, const QByteArray&) override
    {
        FUZZ_CHECK(first == next, "a part from %lld where %lld was next", first, next);
        FUZZ_CHECK(!ended, "a part after the closing note");
        if (!rows) {
            ended = true;
            return;
        }
        for (const xmlNode* row = rows->children; row; row = row->next)
            next += row->type == XML_ELEMENT_NODE;
    }
    void heading(const QByteArray&, const QByteArray&, qint64 count) override
    {
        // One before the rows are counted, then one with their number.
        FUZZ_CHECK(!headed, "a heading after the counted one");
        FUZZ_CHECK(count >= 0 || (count == -1 && !early), "a heading for %lld rows", count);
        early = early || count < 0;
        headed = count >= 0;
    }
    qint64 written = 0;
    qint64 next = 1;
    bool early = false;
    bool headed = false;
    bool ended = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = bytes.indexOf('\0');
    QByteArray message = cut < 0 ? bytes : bytes.left(cut);
    const QByteArray stylesheet = cut < 0 ? QByteArray() : bytes.mid(cut + 1);

    // The message names the stylesheet, after its declaration when it has one.
    const QByteArray instruction = "<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n";
    const qsizetype declarationEnd = message.startsWith("<?xml ") ? message.indexOf("?>") : -1;
    message.insert(declarationEnd < 0 ? 0 : declarationEnd + 2, instruction);

    const QString folder = Folder();
    fuzz::WriteFile(folder + QStringLiteral("/s.xsl"), stylesheet.constData(),
                    size_t(stylesheet.size()));
    const QString path = folder + QStringLiteral("/m.xml");
    fuzz::WriteFile(path, message.constData(), size_t(message.size()));

    TransformLimits limits;
    limits.milliseconds = 2000;
    limits.memoryBytes = 256LL << 20;
    limits.fileBytes = 64 * 1024;
    limits.pageBytes = 4LL << 20;
    limits.readableFolders = {folder};
    try {
        const ViewerPage page = RenderXmlPage(path, folder, limits);
        FUZZ_CHECK(!page.html.isEmpty(), "an empty page");
        // A notice means the tree, or a page in parts that stops short and says so.
        FUZZ_CHECK(page.notice.isEmpty() || page.stylesheet.isEmpty() ||
                       (page.notice.endsWith(QStringLiteral("Страница показана не целиком.")) &&
                        page.html.contains(HtmlEscaped(page.notice).toUtf8())),
                   "a stylesheet applied with a notice: %s", qPrintable(page.notice));
    } catch (const Error& e) {
        // Or a page beyond its budget, which is not made at all.
        const QString text = e.description();
        FUZZ_CHECK(text.startsWith(QStringLiteral("Ошибка загрузки файла ")) ||
                       text.startsWith(QStringLiteral("Файл ")) ||
                       (text.startsWith(QStringLiteral("Ошибка при применении таблицы стилей ")) &&
                        text.endsWith(QStringLiteral(" и остановлена. Страница не показана."))),
                   "neither the loading rule's failure nor the page's budget: %s",
                   qPrintable(text));
    }
    try {
        PartsSink parts;
        MakeXmlPage(path, folder, limits, parts);
        FUZZ_CHECK(parts.headed || (parts.next == 1 && !parts.early), "rows without a heading");
    } catch (const Error&) {
        // Refused as above.
    }
    return 0;
}
