#include "Handbook.h"

#include "RequestReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace loopback {

bool Handbook::LooksLikeHandbook(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4096);
    return head.startsWith("<?xml") && head.contains("<IssueList ");
}

bool Handbook::Read(const QString& path, QSet<QString>& codes, QSet<QString>& isins,
                    QString& reason)
{
    codes.clear();
    isins.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    RequestReader reader(fd);
    bool ok = reader.readRoot();
    if (ok && reader.rootName() != u"IssueList") {
        reason = QStringLiteral("the document element is %1, not IssueList").arg(reader.rootName());
        ok = false;
    } else if (ok) {
        reader.expectRows(QStringLiteral("Issue"), true);
        Attributes row;
        while (reader.nextRow(row)) {
            const QString code = ValueOf(row, u"Code");
            if (!code.isEmpty())
                codes.insert(code);
            const QString isin = ValueOf(row, u"ISIN");
            if (!isin.isEmpty())
                isins.insert(isin);
        }
    }
    if (reader.failed()) {
        reason = reader.faultText(Language::EN);
        ok = false;
    }
    ::close(fd);
    if (!ok) {
        codes.clear();
        isins.clear();
    }
    return ok;
}

QString Handbook::newestInFolder()
{
    if (folder_.isEmpty())
        return QString();
    const QFileInfoList entries =
        QDir(folder_).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name);
    QHash<QString, std::pair<Signature, bool>> scanned;
    QString best;
    QDateTime bestTime;
    for (const QFileInfo& info : entries) {
        const Signature signature{info.absoluteFilePath(), info.size(), info.lastModified()};
        auto known = scanned_.constFind(info.fileName());
        const bool isHandbook = known != scanned_.constEnd() && known->first == signature
                                    ? known->second
                                    : LooksLikeHandbook(signature.path);
        scanned.insert(info.fileName(), {signature, isHandbook});
        // Later names win on equal times, as the generator's names carry the time.
        if (isHandbook && (best.isEmpty() || signature.modified >= bestTime)) {
            best = signature.path;
            bestTime = signature.modified;
        }
    }
    scanned_ = scanned;
    return best;
}

Handbook::Change Handbook::refresh(QString& reason)
{
    const QString path = file_.isEmpty() ? newestInFolder() : file_;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        const bool had = !seen_.path.isEmpty() || loaded();
        seen_ = Signature();
        path_.clear();
        codes_.clear();
        isins_.clear();
        return had ? Change::Gone : Change::None;
    }
    const Signature signature{info.absoluteFilePath(), info.size(), info.lastModified()};
    if (signature == seen_)
        return Change::None;
    seen_ = signature;
    QSet<QString> codes, isins;
    if (!Read(signature.path, codes, isins, reason)) {
        path_.clear();
        codes_.clear();
        isins_.clear();
        return Change::Failed;
    }
    path_ = signature.path;
    codes_ = std::move(codes);
    isins_ = std::move(isins);
    return Change::Loaded;
}

} // namespace loopback
