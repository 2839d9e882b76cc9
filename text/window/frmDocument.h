#pragma once

#include "core/ChildWindow.h"
#include "text/TextEncoding.h"

#include <QWidget>

class QMenu;
class QPlainTextEdit;

namespace varnel {

// A child window that shows any file as plain text, lets the user edit it and saves it back in
// the encoding and with the line ends it was read with.
class frmDocument : public QWidget, public ChildWindow, public TextWindow {
    Q_OBJECT
public:
    explicit frmDocument(QWidget* parent = nullptr);

    ChildKind childKind() const override { return ChildKind::TextDocument; }
    TextWindow* asText() override { return this; }
    bool PrepareToClose() override;
    void KeepOpen() override { closeAgreed_ = false; }

    // Reads the file into rtbBody and takes its path as the window title. Raises Error when the
    // file cannot be read; the window then keeps what it showed before.
    void LoadFile(const QString& path) override;
    // Writes rtbBody to the path (the document's own path when empty) and makes that path the
    // document's path, so that a later plain save goes where the title points. An unchanged
    // text is written as the bytes it was read from. The file is replaced whole or not at all;
    // raises Error when it cannot be written, leaving the old file as it was.
    void SaveFile(const QString& path) override;
    void SaveFile() { SaveFile(QString()); }
    void SaveFileAs(const QString& path);

    // The size the window opens with; it has no layout that could say so.
    QSize sizeHint() const override;

    QString filePath() const override;
    // Prints rtbBody's text.
    void Print(QPrinter& printer) override;
    bool isModified() const { return modified_; }
    const TextFormat& textFormat() const { return format_; }
    QPlainTextEdit* body() const { return rtbBody_; }
    // The editor's text with "\n" between lines, exactly as typed (no space for a no-break one).
    QString bodyText() const;

    // Asks whether to save a changed document: Yes saves (true unless saving failed), No
    // discards (true), Cancel keeps the window (false). An unchanged document closes at once.
    bool confirmClose();

    // The editor's context menu: the usual editing entries, then page setup and print. The
    // File menu keeps its print items hidden, so this is where a text window is printed from.
    QMenu* createContextMenu();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onTextChanged();
    void setCleanTitle(const QString& path);
    void placeBody();

    QPlainTextEdit* rtbBody_ = nullptr;
    QString filePath_; // the file shown, empty for a new text
    TextFormat format_;
    QByteArray savedBytes_; // the file as loaded or last saved
    bool modified_ = false;
    bool loading_ = false;
    // The user has answered the question about closing (PrepareToClose).
    bool closeAgreed_ = false;
};

} // namespace varnel
