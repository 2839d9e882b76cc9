#pragma once

#include "Request.h"
#include "Texts.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace loopback {

// Reads a request document as a stream, one row element at a time, so that a request of any
// size costs the memory of one row. The document type declaration is refused before the
// parser sees it where the bytes allow, and by the parser otherwise; no external resource is
// ever loaded and no entity is declared; a start tag with more attributes than
// xmlguard::kMaxAttributes is refused before the parser sees it. A document that is not
// well-formed, or that holds anything but empty row elements under its document element, stops the
// reading with the reason.
class RequestReader {
public:
    // Reads from an open file descriptor (not closed here), or from bytes held by the caller.
    explicit RequestReader(int fd);
    explicit RequestReader(const QByteArray& bytes);
    ~RequestReader();
    RequestReader(const RequestReader&) = delete;
    RequestReader& operator=(const RequestReader&) = delete;

    // Reads up to the document element. False on a fault.
    bool readRoot();
    const QString& rootName() const { return rootName_; }
    const Attributes& rootAttributes() const { return rootAttributes_; }

    // Row elements must be named so; empty: the document element holds none. A lenient
    // reader skips other elements and text instead of stopping.
    void expectRows(const QString& rowName, bool lenient = false);
    // The next row; false at the end of the document (the whole of it read and well-formed)
    // or on a fault.
    bool nextRow(Attributes& row);

    bool failed() const { return fault_ != Fault::None; }
    // A read of the file itself failed (not the document's fault): errno, else 0.
    int ioError() const;
    // The reason of a fault, in the language of the answer.
    QString faultText(Language language) const;

    struct State;

private:
    enum class Fault { None, Format };
    bool fail(FormatFault fault, const QString& detail = QString(),
              const QString& detail2 = QString());
    bool failFromParser();
    bool start();

    std::unique_ptr<State> state_;
    Fault fault_ = Fault::None;
    FormatFault formatFault_ = FormatFault::Xml;
    QString detail_;
    QString detail2_;
    int line_ = 0;
    int column_ = 0;
    QString rootName_;
    Attributes rootAttributes_;
    QString rowName_;
    bool lenient_ = false;
    bool rootEmpty_ = false;
    bool rootClosed_ = false;
};

} // namespace loopback
