#include "Answer.h"

#include "Cp1251.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>

namespace loopback {
namespace {

constexpr qsizetype kSpill = 8 * 1024 * 1024;

} // namespace

QByteArray DeclarationLine()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"Windows-1251\"?>\r\n");
}

QString CreatedText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
}

void AppendStartTag(QByteArray& out, QStringView element, const Attributes& attributes, bool empty)
{
    out += '<';
    AppendPlain(out, element);
    for (const Attribute& attribute : attributes) {
        if (attribute.value.isEmpty())
            continue;
        out += ' ';
        AppendPlain(out, attribute.name);
        out += "=\"";
        AppendAttributeValue(out, attribute.value);
        out += '"';
    }
    out += empty ? " />\r\n" : ">\r\n";
}

void AppendEndTag(QByteArray& out, QStringView element)
{
    out += "</";
    AppendPlain(out, element);
    out += ">\r\n";
}

int RowSpool::append(const QByteArray& line)
{
    buffer_ += line;
    if (buffer_.size() < kSpill)
        return 0;
    if (!file_) {
        file_ = std::make_unique<QTemporaryFile>(folder_ + QStringLiteral("/.rows.XXXXXX"));
        if (!file_->open()) {
            file_.reset();
            return ENOSPC;
        }
    }
    if (file_->write(buffer_) != buffer_.size())
        return ENOSPC;
    buffer_.clear();
    return 0;
}

int RowSpool::writeTo(HiddenFile& out)
{
    if (file_) {
        if (!file_->flush())
            return ENOSPC;
        if (const int result = out.append(file_->fileName()))
            return result;
    }
    return out.write(buffer_);
}

} // namespace loopback
