#include "ClientSettings.h"

#include "Cp1251.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace loopback {
namespace {

QString trimBlanks(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && (text.at(b) == u' ' || text.at(b) == u'\t'))
        ++b;
    while (e > b && (text.at(e - 1) == u' ' || text.at(e - 1) == u'\t'))
        --e;
    return text.mid(b, e - b);
}

} // namespace

QString ReadIniValue(const QByteArray& fileText, const QString& section, const QString& key)
{
    const QString text = fileText.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(fileText.mid(3))
                                                             : DecodeCp1251(fileText);
    bool inSection = false;
    bool sectionSeen = false;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = trimBlanks(line);
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            if (close > 0) {
                if (inSection)
                    return QString(); // the first section of that name ended without the key
                const QString name = trimBlanks(trimmed.mid(1, close - 1));
                inSection = !sectionSeen && name.compare(section, Qt::CaseInsensitive) == 0;
                sectionSeen = sectionSeen || inSection;
                continue;
            }
        }
        if (!inSection)
            continue;
        const qsizetype eq = trimmed.indexOf(u'=');
        if (eq <= 0)
            continue;
        if (trimBlanks(trimmed.left(eq)).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = trimBlanks(trimmed.mid(eq + 1));
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return QString();
}

QString ResolveFolder(const QString& programFolder, const QString& value)
{
    QString folder = programFolder;
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    const QString trimmed = trimBlanks(value);
    if (trimmed.isEmpty() || trimmed == u"." || trimmed == u".\\" || trimmed == u"./")
        return folder;
    if (trimmed.startsWith(u".\\") || trimmed.startsWith(u"./")) {
        QString rest = trimmed.mid(2);
        rest.replace(u'\\', u'/');
        return folder + u'/' + rest;
    }
    return trimmed;
}

bool ReadClientFolders(const QString& programFolder, ClientFolders& folders, QString& reason)
{
    const QString path = QDir(programFolder).filePath(QStringLiteral("varnel_client.ini"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.readAll();
    const QString send = ReadIniValue(text, QStringLiteral("Path"), QStringLiteral("FolderSend"));
    const QString receive =
        ReadIniValue(text, QStringLiteral("Path"), QStringLiteral("FolderReceive"));
    if (send.isEmpty() || receive.isEmpty()) {
        reason = QStringLiteral("%1 has no %2 in section [Path]")
                     .arg(path, send.isEmpty() ? QStringLiteral("FolderSend")
                                               : QStringLiteral("FolderReceive"));
        return false;
    }
    folders.send = ResolveFolder(programFolder, send);
    folders.receive = ResolveFolder(programFolder, receive);
    return true;
}

} // namespace loopback
