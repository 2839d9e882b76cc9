#pragma once

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>

namespace loopback {

// The securities handbook the registry serves and checks deals against: a file given on the
// command line, or else the newest handbook in a folder. Looked at again on every refresh and
// read anew when it has changed.
class Handbook {
public:
    void setFile(const QString& file) { file_ = file; }
    void setFolder(const QString& folder) { folder_ = folder; }

    enum class Change { None, Loaded, Failed, Gone };
    // Finds the file, and reads it when it is another file or has changed since. reason tells
    // why a file could not be read.
    Change refresh(QString& reason);

    bool loaded() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }
    qsizetype size() const { return codes_.size(); }
    bool knowsCode(const QString& code) const { return codes_.contains(code); }
    bool knowsIsin(const QString& isin) const { return isins_.contains(isin); }

    // Reads a handbook: every Issue row's Code and ISIN. False with a reason when the file is
    // not a handbook or cannot be read.
    static bool Read(const QString& path, QSet<QString>& codes, QSet<QString>& isins,
                     QString& reason);
    // Whether a file starts as a handbook: its document element IssueList near the top.
    static bool LooksLikeHandbook(const QString& path);

private:
    struct Signature {
        QString path;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const Signature&) const = default;
    };
    QString newestInFolder();

    QString file_;
    QString folder_;
    Signature seen_;
    QString path_;
    QSet<QString> codes_;
    QSet<QString> isins_;
    // Files of the folder already looked at, by name: size, time and whether a handbook.
    QHash<QString, std::pair<Signature, bool>> scanned_;
};

} // namespace loopback
