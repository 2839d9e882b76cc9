#include "viewer/XslTransform.h"
#include "viewer/XslEngine.h"

#include "answers/IncomingMessage.h"
#include "core/Error.h"
#include "core/XmlLoad.h"
#include "core/XmlText.h"
#include "viewer/PageView.h"
#include "viewer/TransformBudget.h"
#include "xmlguard/AttributeGuard.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxslt/documents.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <thread>

namespace varnel {
namespace {

using xmltext::FromXml;

// What the XSL engine and the parser said during one page, and what was refused.
struct Diagnostics {
    QString pending; // a message that has not reached its line end yet
    QStringList messages;
    QStringList refusals;

    void add(const QString& text)
    {
        pending += text;
        qsizetype end;
        while ((end = pending.indexOf(u'\n')) >= 0) {
            const QString line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (!line.isEmpty())
                messages << line;
        }
    }
    QString first() const
    {
        if (!refusals.isEmpty())
            return refusals.first();
        if (!messages.isEmpty())
            return messages.first();
        return pending.trimmed();
    }
};

// The page being made on this thread; the engine's hooks report to it.
thread_local Diagnostics* g_diagnostics = nullptr;
// And it reads within this budget.
thread_local ReadBudget* g_budget = nullptr;
// One page at a time in the process: the engine's hooks are process-wide.
std::timed_mutex g_engine;

void CollectGeneric(void* ctx, const char* format, ...)
{
    auto* diagnostics = static_cast<Diagnostics*>(ctx);
    if (!diagnostics)
        return;
    char buffer[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    diagnostics->add(QString::fromUtf8(buffer));
}

void CollectStructured(void* ctx, xmlErrorPtr error)
{
    auto* diagnostics = static_cast<Diagnostics*>(ctx);
    if (!diagnostics || !error || error->level < XML_ERR_ERROR)
        return;
    QString text = QString::fromUtf8(error->message ? error->message : "").trimmed();
    if (error->file && error->line > 0)
        text +=
            QStringLiteral(" (%1, строка %2)").arg(QString::fromUtf8(error->file)).arg(error->line);
    diagnostics->add(text + u'\n');
}

void Refuse(const QString& text)
{
    if (g_diagnostics)
        g_diagnostics->refusals << text;
}

// Nothing outside the documents themselves is ever read by the parser: no DTD, no external
// entity, whatever its address.
xmlParserInputPtr RefuseExternalEntity(const char* url, const char*, xmlParserCtxtPtr)
{
    Refuse(QStringLiteral("внешние сущности не загружаются (") + QString::fromUtf8(url ? url : "") +
           u')');
    return nullptr;
}

// The local file of a file URL (without a host, or on localhost); empty for any other.
QString LocalFileOfUrl(const QUrl& url)
{
    if (url.scheme().compare(u"file", Qt::CaseInsensitive) != 0)
        return QString();
    if (url.host().isEmpty())
        return url.toLocalFile();
    if (url.host().compare(u"localhost", Qt::CaseInsensitive) == 0)
        return url.path();
    return QString();
}

// The local file a URI of the engine names, or empty when it names none.
QString LocalFileOfUri(const xmlChar* uri)
{
    const QString text = FromXml(uri);
    const QUrl url(text);
    if (url.scheme().isEmpty())
        return text;
    return LocalFileOfUrl(url);
}

struct RestrictedParse {
    bool doctypeSeen = false;
};

void RefuseDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    if (auto* state = static_cast<RestrictedParse*>(ctxt->_private))
        state->doctypeSeen = true;
    xmlStopParser(ctxt);
}

// Parses a stylesheet (its own entity declarations allowed, nothing external) or a document
// that a stylesheet reads (no DOCTYPE at all, as for messages).
xmlDocPtr ParseRestricted(const QByteArray& bytes, const xmlChar* uri, xmlDictPtr dict,
                          bool stylesheet)
{
    xmlguard::AttributeGuard guard;
    if (!guard.feed(bytes.constData(), size_t(bytes.size()))) {
        Refuse(FromXml(uri) + QStringLiteral(": ") + QString::fromStdString(guard.reason()) +
               QStringLiteral(" (строка %1)").arg(guard.line()));
        return nullptr;
    }
    xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(bytes.constData(), int(bytes.size()));
    if (!ctxt)
        return nullptr;
    if (dict) {
        // Stylesheets that include one another share the including one's names.
        if (ctxt->dict)
            xmlDictFree(ctxt->dict);
        ctxt->dict = dict;
        xmlDictReference(dict);
    }
    int options = XML_PARSE_NONET | XML_PARSE_NOCDATA;
    options |= stylesheet ? XML_PARSE_NOENT : XML_PARSE_NOBLANKS;
    xmlCtxtUseOptions(ctxt, options);
    RestrictedParse state;
    ctxt->_private = &state;
    if (!stylesheet)
        ctxt->sax->internalSubset = RefuseDoctype;
    if (uri && ctxt->input && !ctxt->input->filename)
        ctxt->input->filename = reinterpret_cast<const char*>(xmlStrdup(uri));
    xmlParseDocument(ctxt);
    xmlDocPtr doc = ctxt->myDoc;
    ctxt->myDoc = nullptr;
    const bool ok = ctxt->wellFormed && !state.doctypeSeen && doc;
    xmlFreeParserCtxt(ctxt);
    if (!ok) {
        if (state.doctypeSeen)
            Refuse(QStringLiteral("документ ") + FromXml(uri) +
                   QStringLiteral(" содержит DOCTYPE и не загружен"));
        xmlFreeDoc(doc);
        return nullptr;
    }
    if (uri && !doc->URL)
        doc->URL = xmlStrdup(uri);
    return doc;
}

// Every stylesheet, included stylesheet and document() the engine loads comes through here.
xmlDocPtr LoadLocalOnly(const xmlChar* uri, xmlDictPtr dict, int, void*, xsltLoadType type)
{
    const QString path = LocalFileOfUri(uri);
    if (path.isEmpty()) {
        Refuse(FromXml(uri) + QStringLiteral(": загружаются только локальные файлы"));
        return nullptr;
    }
    if (!g_budget)
        return nullptr;
    if (const QString why = g_budget->exhausted(); !why.isEmpty()) {
        Refuse(why);
        return nullptr;
    }
    // A device or a pipe is named as such wherever it lies.
    if (!IsSpecialFile(path) && !g_budget->mayRead(path)) {
        Refuse(path + QStringLiteral(": таблица стилей читает только файлы из каталога сообщения и "
                                     "каталогов таблиц стилей, заданных в настройках"));
        return nullptr;
    }
    const QString resolved = ResolvedPath(path);
    if (!QFileInfo::exists(resolved)) {
        // A document that is not there is an empty node-set to the stylesheet, as ever.
        if (g_diagnostics)
            g_diagnostics->add(path + QStringLiteral(": файл не найден\n"));
        return nullptr;
    }
    QByteArray bytes;
    QString reason;
    if (!ReadRegularFile(resolved, *g_budget, bytes, reason)) {
        Refuse(path + QStringLiteral(": ") + reason);
        return nullptr;
    }
    g_budget->count(bytes.size());
    return ParseRestricted(bytes, uri, dict, type != XSLT_LOAD_DOCUMENT);
}

int RefuseWrite(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value)
{
    Refuse(QStringLiteral("таблице стилей запрещено записывать файлы (") +
           QString::fromUtf8(value ? value : "") + u')');
    return 0;
}

int RefuseNetwork(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value)
{
    Refuse(QString::fromUtf8(value ? value : "") +
           QStringLiteral(": загружаются только локальные файлы"));
    return 0;
}

int AllowLocalRead(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value)
{
    if (!LocalFileOfUri(reinterpret_cast<const xmlChar*>(value)).isEmpty())
        return 1;
    Refuse(QString::fromUtf8(value ? value : "") +
           QStringLiteral(": загружаются только локальные файлы"));
    return 0;
}

xsltSecurityPrefsPtr SecurityPrefs()
{
    static xsltSecurityPrefsPtr prefs = [] {
        xmlInitParser();
        exsltRegisterAll();
        xsltSecurityPrefsPtr p = xsltNewSecurityPrefs();
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_FILE, RefuseWrite);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_CREATE_DIRECTORY, RefuseWrite);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_NETWORK, RefuseWrite);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_NETWORK, RefuseNetwork);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_FILE, AllowLocalRead);
        // Includes and imports are checked with the default preferences.
        xsltSetDefaultSecurityPrefs(p);
        return p;
    }();
    return prefs;
}

// Installs the page's hooks into libxml2 and libxslt and puts the previous ones back.
class EngineHooks {
public:
    EngineHooks(Diagnostics* diagnostics, ReadBudget* budget)
        : generic_(xmlGenericError), genericContext_(xmlGenericErrorContext),
          structured_(xmlStructuredError), structuredContext_(xmlStructuredErrorContext),
          xsltGeneric_(xsltGenericError), xsltGenericContext_(xsltGenericErrorContext),
          entityLoader_(xmlGetExternalEntityLoader()), previous_(g_diagnostics),
          previousBudget_(g_budget)
    {
        SecurityPrefs();
        g_diagnostics = diagnostics;
        g_budget = budget;
        xmlSetGenericErrorFunc(diagnostics, CollectGeneric);
        xmlSetStructuredErrorFunc(diagnostics, CollectStructured);
        xsltSetGenericErrorFunc(diagnostics, CollectGeneric);
        xmlSetExternalEntityLoader(RefuseExternalEntity);
        xsltSetLoaderFunc(LoadLocalOnly);
    }
    ~EngineHooks()
    {
        xsltSetLoaderFunc(nullptr);
        xmlSetExternalEntityLoader(entityLoader_);
        xsltSetGenericErrorFunc(xsltGenericContext_, xsltGeneric_);
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetGenericErrorFunc(genericContext_, generic_);
        g_diagnostics = previous_;
        g_budget = previousBudget_;
    }
    EngineHooks(const EngineHooks&) = delete;
    EngineHooks& operator=(const EngineHooks&) = delete;

private:
    xmlGenericErrorFunc generic_;
    void* genericContext_;
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc xsltGeneric_;
    void* xsltGenericContext_;
    xmlExternalEntityLoader entityLoader_;
    Diagnostics* previous_;
    ReadBudget* previousBudget_;
};

// Stops a stylesheet run that takes too long or too much memory. It runs beside the run and
// does nothing but set the engine's stop marks, which the engine checks as it goes.
class Watchdog {
public:
    enum class Reason { None, Time, Memory, Stopped };

    // The run's clock and memory are the budget's, which its stylesheets were loaded in.
    Watchdog(xsltTransformContextPtr ctxt, const ReadBudget& budget)
        : ctxt_(ctxt), budget_(budget), stop_(budget.limits().stop), thread_([this] { run(); })
    {
    }
    ~Watchdog() { finish(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void finish()
    {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    Reason reason() const { return reason_.load(); }

private:
    void run()
    {
        using namespace std::chrono;
        std::unique_lock lock(mutex_);
        while (!done_) {
            if (budget_.deadline().hasExpired()) {
                stop(Reason::Time);
                break;
            }
            wake_.wait_for(lock, milliseconds(20));
            if (done_)
                break;
            if (budget_.deadline().hasExpired()) {
                stop(Reason::Time);
                break;
            }
            if (budget_.overMemory()) {
                stop(Reason::Memory);
                break;
            }
            if (stop_ && stop_->load()) {
                stop(Reason::Stopped);
                break;
            }
        }
    }
    void stop(Reason reason)
    {
        reason_.store(reason);
        std::atomic_ref<xsltTransformState>(ctxt_->state).store(XSLT_STATE_STOPPED);
        // An XPath expression that runs on and on is ended at its next step.
        if (ctxt_->xpathCtxt)
            std::atomic_ref<unsigned long>(ctxt_->xpathCtxt->opLimit).store(1);
    }

    xsltTransformContextPtr ctxt_;
    const ReadBudget& budget_; // what this thread looks at in it is atomic or fixed
    const std::atomic<bool>* stop_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::atomic<Reason> reason_{Reason::None};
    std::thread thread_;
};

// Decodes the predefined entities and character references of a pseudo-attribute value.
QString DecodePseudoAttribute(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != u'&') {
            out += value.at(i);
            continue;
        }
        const qsizetype end = value.indexOf(u';', i);
        if (end < 0) {
            out += value.mid(i);
            break;
        }
        const QString name = value.mid(i + 1, end - i - 1);
        QString decoded;
        if (name == u"amp")
            decoded = QStringLiteral("&");
        else if (name == u"lt")
            decoded = QStringLiteral("<");
        else if (name == u"gt")
            decoded = QStringLiteral(">");
        else if (name == u"quot")
            decoded = QStringLiteral("\"");
        else if (name == u"apos")
            decoded = QStringLiteral("'");
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const uint code = name.startsWith(u"#x") || name.startsWith(u"#X")
                                  ? name.mid(2).toUInt(&ok, 16)
                                  : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF)
                decoded = QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
        }
        if (decoded.isNull()) {
            out += value.mid(i, end - i + 1);
        } else {
            out += decoded;
        }
        i = end;
    }
    return out;
}

// name="value" pairs of an instruction's content.
QList<QPair<QString, QString>> PseudoAttributes(const QString& content)
{
    static const QRegularExpression pair(
        QStringLiteral("([A-Za-z_:][-A-Za-z0-9._:]*)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
    QList<QPair<QString, QString>> result;
    for (auto it = pair.globalMatch(content); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString raw = m.capturedStart(2) >= 0 ? m.captured(2) : m.captured(3);
        result.append({m.captured(1), DecodePseudoAttribute(raw)});
    }
    return result;
}

} // namespace

QString HtmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

QString StylesheetHrefOf(xmlDocPtr doc)
{
    static const QStringList kTypes = {QStringLiteral("text/xsl"), QStringLiteral("text/xml"),
                                       QStringLiteral("application/xml"),
                                       QStringLiteral("application/xslt+xml")};
    for (xmlNodePtr node = doc ? doc->children : nullptr; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE)
            break;
        if (node->type != XML_PI_NODE || FromXml(node->name) != u"xml-stylesheet")
            continue;
        QString type;
        QString href;
        bool alternate = false;
        for (const auto& [name, value] : PseudoAttributes(FromXml(node->content))) {
            if (name == u"type")
                type = value.trimmed().toLower();
            else if (name == u"href")
                href = value;
            else if (name == u"alternate")
                alternate = value == u"yes";
        }
        if (!alternate && kTypes.contains(type) && !href.isEmpty())
            return href;
    }
    return QString();
}

QString LocalStylesheetPath(const QString& href, const QString& base, QString* refusal)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    const QString trimmed = href.trimmed();
    // A path written on Windows is looked for as it stands (here it names no file).
    if (drive.match(trimmed).hasMatch())
        return trimmed;
    const QUrl url(trimmed);
    if (url.scheme().isEmpty()) {
        const QString folder = base.endsWith(u'/') ? base : base + u'/';
        return QUrl::fromLocalFile(folder).resolved(url).toLocalFile();
    }
    if (const QString local = LocalFileOfUrl(url); !local.isEmpty())
        return local;
    if (refusal)
        *refusal = QStringLiteral("загружаются только локальные файлы");
    return QString();
}

struct XslRun::Impl {
    Impl(const TransformLimits& l, const QStringList& f) : limits(l), folders(f) {}
    TransformLimits limits;
    QStringList folders;
    PageBudget* page = nullptr;
    Diagnostics diagnostics;
    std::unique_lock<std::timed_mutex> engine;
    std::unique_ptr<EngineHooks> hooks;
};

XslRun::XslRun(const TransformLimits& limits, const QStringList& readableFolders)
    : impl_(std::make_unique<Impl>(limits, readableFolders))
{
    impl_->engine = std::unique_lock(g_engine, std::defer_lock);
    while (!impl_->engine.try_lock_for(std::chrono::milliseconds(50))) {
        if (limits.stop && limits.stop->load())
            throw PageStopped();
    }
    impl_->hooks = std::make_unique<EngineHooks>(&impl_->diagnostics, nullptr);
}

XslRun::~XslRun() = default;

void XslRun::setLimits(const TransformLimits& limits)
{
    impl_->limits = limits;
}

void XslRun::setPage(PageBudget* page)
{
    impl_->page = page;
}

xsltStylesheetPtr XslRun::load(const QString& path, QString* failure)
{
    Diagnostics& diagnostics = impl_->diagnostics;
    diagnostics = Diagnostics();
    ReadBudget budget(impl_->limits, impl_->folders, impl_->page);
    g_budget = &budget;
    const QByteArray uri =
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded(QUrl::FullyEncoded);
    xmlDocPtr styleDoc = LoadLocalOnly(reinterpret_cast<const xmlChar*>(uri.constData()), nullptr,
                                       0, nullptr, XSLT_LOAD_START);
    xsltStylesheetPtr style = styleDoc ? xsltParseStylesheetDoc(styleDoc) : nullptr;
    g_budget = nullptr;
    if (!style || style->errors > 0 || !diagnostics.refusals.isEmpty()) {
        if (style)
            xsltFreeStylesheet(style);
        else
            xmlFreeDoc(styleDoc);
        *failure = diagnostics.first();
        return nullptr;
    }
    return style;
}

xmlDocPtr XslRun::apply(xsltStylesheetPtr style, xmlDocPtr doc,
                        const QList<QPair<QByteArray, QByteArray>>& parameters, QString* failure)
{
    const TransformLimits& limits = impl_->limits;
    Diagnostics& diagnostics = impl_->diagnostics;
    diagnostics = Diagnostics();
    ReadBudget budget(limits, impl_->folders, impl_->page);
    g_budget = &budget;
    std::vector<const char*> params;
    for (const auto& [name, value] : parameters) {
        params.push_back(name.constData());
        params.push_back(value.constData());
    }
    params.push_back(nullptr);

    xsltTransformContextPtr ctxt = xsltNewTransformContext(style, doc);
    xmlDocPtr result = nullptr;
    Watchdog::Reason stopped = Watchdog::Reason::None;
    bool failed = !ctxt;
    if (ctxt) {
        xsltSetCtxtSecurityPrefs(SecurityPrefs(), ctxt);
        xsltSetTransformErrorFunc(ctxt, &diagnostics, CollectGeneric);
        ctxt->maxTemplateDepth = limits.templateDepth;
        ctxt->maxTemplateVars = limits.templateVariables;
        Watchdog watchdog(ctxt, budget);
        result = xsltApplyStylesheetUser(style, doc, params.data(), nullptr, nullptr, ctxt);
        watchdog.finish();
        stopped = watchdog.reason();
        failed = !result || ctxt->state != XSLT_STATE_OK || !diagnostics.refusals.isEmpty();
        xsltFreeTransformContext(ctxt);
    }
    g_budget = nullptr;
    if (stopped == Watchdog::Reason::Stopped) {
        xmlFreeDoc(result);
        throw PageStopped();
    }
    if (stopped == Watchdog::Reason::Time) {
        *failure = budget.outOfTime();
    } else if (stopped == Watchdog::Reason::Memory) {
        *failure = budget.outOfMemory();
        // The memory is the page's, counted from its start: no later part has any left.
        if (impl_->page)
            impl_->page->spend(*failure);
    } else if (failed) {
        *failure = diagnostics.first();
    }
    if (failed && failure->isEmpty())
        *failure = QStringLiteral("преобразование не выполнено");
    if (!failure->isEmpty()) {
        xmlFreeDoc(result);
        return nullptr;
    }
    return result;
}

bool DeclaresParameter(xsltStylesheetPtr style, const char* name)
{
    for (xsltStylesheetPtr s = style; s; s = xsltNextImport(s)) {
        for (xsltStackElemPtr e = s->variables; e; e = e->next) {
            if (e->name && xmlStrEqual(e->name, reinterpret_cast<const xmlChar*>(name)) &&
                e->comp && e->comp->type == XSLT_FUNC_PARAM)
                return true;
        }
    }
    return false;
}

} // namespace varnel
