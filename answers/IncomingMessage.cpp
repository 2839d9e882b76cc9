#include "answers/IncomingMessage.h"

#include "core/Settings.h"
#include "core/Values.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace varnel {
namespace {

const QByteArray kDeclaration = QByteArrayLiteral("<?XML");
const QByteArray kInstructionStart = QByteArrayLiteral("<?xml-stylesheet type=\"text/xsl\"");
const QByteArray kEmptyElementEnd = QByteArrayLiteral("/>");
const QString kBreak = QStringLiteral("\r\n");

QByteArray EscapedAttribute(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size() + 16);
    for (const char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Cuts the text so that exactly one character stays after end, when at least two follow it.
void KeepOneAfter(QByteArray& text, qsizetype end)
{
    if (text.size() - end >= 2)
        text.truncate(end + 1);
}

} // namespace

const QList<MessageKind>& MessageKinds()
{
    static const QList<MessageKind> kinds = [] {
        QList<MessageKind> made;
        for (const AnswerKindRow& row : AnswerKindTable()) {
            const QByteArray upper = row.root.toUpper().toLatin1();
            const QByteArray opening = '<' + upper;
            made.append({row.kind, QString::fromLatin1(upper),
                         row.byClosingTag ? "</" + upper + '>' : opening, row.byClosingTag,
                         row.stylesheet, opening});
        }
        return made;
    }();
    return kinds;
}

const MessageKind* FindMessageKind(const QString& name)
{
    for (const MessageKind& kind : MessageKinds()) {
        if (kind.name == name)
            return &kind;
    }
    return nullptr;
}

QByteArray UpperCasedText(const QByteArray& text)
{
    QByteArray upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return upper;
}

const MessageKind* RecognizeMessageKind(const QByteArray& upper)
{
    for (const MessageKind& kind : MessageKinds()) {
        if (upper.contains(kind.marker))
            return &kind;
    }
    return nullptr;
}

PreparedMessage PrepareIncomingMessage(const QByteArray& fileText)
{
    PreparedMessage prepared;
    prepared.text = fileText;
    QByteArray upper = UpperCasedText(fileText);
    if (const qsizetype declaration = upper.indexOf(kDeclaration); declaration > 0) {
        prepared.text.remove(0, declaration);
        upper.remove(0, declaration);
    }

    prepared.kind = RecognizeMessageKind(upper);
    if (!prepared.kind)
        return prepared;
    if (prepared.kind->name == u"SUBSCRIBERESULT") {
        // The notice is one empty element; whatever the transport put after it is dropped.
        const qsizetype start = upper.indexOf(prepared.kind->marker);
        const qsizetype end = upper.indexOf(kEmptyElementEnd, start);
        if (end >= 0)
            KeepOneAfter(prepared.text, end + kEmptyElementEnd.size());
    } else if (prepared.kind->byClosingTag) {
        const qsizetype close = upper.lastIndexOf(prepared.kind->marker);
        KeepOneAfter(prepared.text, close + prepared.kind->marker.size());
    }
    return prepared;
}

bool HasStylesheetInstruction(const QByteArray& upper)
{
    return upper.contains(UpperCasedText(kInstructionStart));
}

bool ContainsStylesheetInstruction(const QByteArray& text)
{
    return IndexOfIgnoringCase(text, UpperCasedText(kInstructionStart)) >= 0;
}

qsizetype IndexOfIgnoringCase(const QByteArray& text, const QByteArray& upperNeedle, qsizetype from)
{
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    const qsizetype n = upperNeedle.size();
    const qsizetype size = text.size();
    from = std::max<qsizetype>(from, 0);
    if (n == 0)
        return from <= size ? from : -1;
    const char first = upperNeedle.at(0);
    const bool letter = first >= 'A' && first <= 'Z';
    const char* data = text.constData();
    for (qsizetype i = from; i + n <= size; ++i) {
        if (!letter) {
            // Every marker begins with "<": the candidates are found a block at a time.
            const void* hit = std::memchr(data + i, first, size_t(size - n + 1 - i));
            if (!hit)
                return -1;
            i = static_cast<const char*>(hit) - data;
        } else if (upper(data[i]) != first) {
            continue;
        }
        qsizetype k = 1;
        while (k < n && upper(data[i + k]) == upperNeedle.at(k))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

QByteArray StylesheetInstruction(const QString& stylesheetPath)
{
    const QByteArray url = QUrl::fromLocalFile(QFileInfo(stylesheetPath).absoluteFilePath())
                               .toEncoded(QUrl::FullyEncoded);
    return kInstructionStart + " href=\"" + EscapedAttribute(url) + "\"?>\r\n";
}

qsizetype StylesheetPlace(const QByteArray& upper, const QByteArray& marker,
                          const QString& stylesheetPath)
{
    if (stylesheetPath.isEmpty() || HasStylesheetInstruction(upper))
        return -1;
    return upper.indexOf(marker);
}

bool AttachStylesheet(QByteArray& text, const QByteArray& marker, const QString& stylesheetPath)
{
    const qsizetype at = StylesheetPlace(UpperCasedText(text), marker, stylesheetPath);
    if (at < 0)
        return false;
    text.insert(at, StylesheetInstruction(stylesheetPath));
    return true;
}

QString ResolveStylesheetSetting(const QString& value)
{
    if (TrimSpaces(value).isEmpty())
        return QString();
    return ResolvePath(value);
}

QString StylesheetOfKind(const MessageKind& kind)
{
    return ResolveStylesheetSetting(kind.stylesheet.read());
}

QStringList StylesheetReadableFolders(const QString& messageFolder)
{
    QStringList folders;
    if (!messageFolder.isEmpty())
        folders << messageFolder;
    for (const MessageKind& kind : MessageKinds()) {
        const QString stylesheet = StylesheetOfKind(kind);
        if (!stylesheet.isEmpty())
            folders << QFileInfo(stylesheet).absolutePath();
    }
    folders.removeDuplicates();
    return folders;
}

QString WrongViewerExtensionText()
{
    return QStringLiteral("Допустимые типы файлов-справочников инструментов: msg, xml, htm(l)");
}

QString NoTemporaryFolderText()
{
    return QStringLiteral("Ошибка при определении имени каталога для хранения временных файлов");
}

QString NoTemporaryNameText()
{
    return QStringLiteral("Ошибка при определении имени временного файла");
}

QString NotAMessageText(const QString& path)
{
    return QStringLiteral("Файл ") + path + kBreak +
           QStringLiteral("не содержит сообщения одного из допустимых типов: ") + kBreak +
           QStringLiteral("Receipts, IssueList, SubscribeResult, RevokeReceipts, RepoRecepts, "
                          "RepoRevokeReceipts");
}

QString NotAHandbookText(const QString& path)
{
    return QStringLiteral("Файл ") + path + kBreak +
           QStringLiteral(" не содержит справочник инструментов");
}

bool IsViewerExtension(const QString& path)
{
    const QString ext = GetFileExtension(path).toUpper();
    return ext == u"XML" || ext == u"MSG" || ext == u"HTM" || ext == u"HTML";
}

bool IsHtmlExtension(const QString& path)
{
    const QString ext = GetFileExtension(path).toUpper();
    return ext == u"HTM" || ext == u"HTML";
}

} // namespace varnel
