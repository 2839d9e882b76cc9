#pragma once

#include <QByteArrayView>
#include <QString>

namespace varnel {

// Tells a securities handbook from other incoming messages by reading the file as a sequence
// of text fields, the way the registry's files have always been told apart: a field ends at a
// line end or a comma, a field that begins with a double quote runs to the next double quote
// (the rest up to the next comma or line end is dropped), leading blanks are skipped. The file
// is a handbook when some field begins with "<?xml" and that field or a later one begins with
// "<IssueList " (root element with attributes). Both comparisons are exact in letter case.
// Reading stops at the first field that begins with "<IssueList ", so a large handbook is read
// only up to its root element.
class HandbookFieldReader {
public:
    enum class Verdict { Undecided, Handbook, NotHandbook };

    // Reads the next bytes of the file. Once the verdict is decided, further bytes are ignored.
    Verdict feed(const char* data, qsizetype size);
    // The end of the file: what is still undecided is not a handbook.
    Verdict finish();
    Verdict verdict() const { return verdict_; }

private:
    enum class State { FieldStart, Plain, Quoted, AfterQuote };

    void endField();
    // Looks at the beginning of the current field once enough of it is known; decides the
    // verdict when it begins with the root marker.
    void examine(bool fieldComplete);

    State state_ = State::FieldStart;
    Verdict verdict_ = Verdict::Undecided;
    bool xmlSeen_ = false;
    bool fieldExamined_ = false;
    // The first characters of the current field; more are never needed.
    char head_[16] = {};
    int headLength_ = 0;
};

// The verdict for a whole file held in memory.
bool IsHandbookText(QByteArrayView bytes);

// Opens the file, reads it until the verdict is known and closes it. Raises Error 514 when the
// file cannot be opened or read ("Не удалось прочитать файл <path>:" CR LF reason).
bool IsHandbookFile(const QString& path);

} // namespace varnel
