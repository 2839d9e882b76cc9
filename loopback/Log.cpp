#include "Log.h"

#include <QDateTime>

#include <cstdio>

namespace loopback {

void Log::setFile(const QString& path)
{
    if (file_.isOpen())
        file_.close();
    file_.setFileName(path);
    file_.open(QIODevice::WriteOnly | QIODevice::Append);
}

void Log::line(const QString& text)
{
    QString flat = text;
    flat.replace(u'\r', u' ').replace(u'\n', u' ');
    const QByteArray bytes =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + flat +
         u'\n')
            .toUtf8();
    if (echo_) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    }
    if (!file_.isOpen() && !file_.fileName().isEmpty())
        file_.open(QIODevice::WriteOnly | QIODevice::Append);
    if (file_.isOpen()) {
        if (file_.write(bytes) != bytes.size() || !file_.flush())
            file_.close(); // opened again for the next line
    }
}

} // namespace loopback
