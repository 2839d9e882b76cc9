#pragma once

#include "core/Outcome.h"
#include "core/Progress.h"
#include "reports/DealImport.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace varnel {

class ReportDocument;
class TableReader;
struct TableRecord;

// The whole import of deals from a table file, free of widgets: reading the title row and the
// first rows, settling where the columns go, and putting every row through the checks of a
// typed deal (DealImport). The report window runs it with its dialogs and its busy dialog; the
// command-line program runs the very same steps with its options. The document is only read;
// the caller appends what passed (ReportDocument::appendDeals).
//
//   ImportRun run(document);
//   run.open(path, progress);                  // the file's head
//   mapping = run.settledMapping() or chosen;  // remembered, by the titles, or the user's
//   run.start(*mapping);                       // on the document's thread
//   run.check(progress);                       // may run on another thread
//   document.appendDeals(run.result().takeDeals());
class ImportRun {
public:
    explicit ImportRun(const ReportDocument& document, const QDate& today = QDate::currentDate());
    ~ImportRun();
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    // Opens the file and reads its title row and the first rows (the mapping's preview). Failed
    // when the file cannot be read or holds no row at all.
    Outcome open(const QString& path, Progress& progress);
    const QString& path() const { return path_; }
    // The titles of the file's columns (its first row).
    const QStringList& titles() const { return titles_; }
    // The first rows after the titles, as wide as the title row.
    QList<QStringList> preview() const;

    // The mapping that needs nobody: the one the user chose for files of these titles before,
    // else the one by the titles when it is complete; nothing when the user has to choose.
    std::optional<ImportMapping> settledMapping() const;
    // The mapping by the titles, for the user to complete.
    MappingProposal proposal() const;
    const QDate& today() const { return today_; }

    // Takes the mapping; runs on the thread the document lives on (the rows' index is built here).
    void start(const ImportMapping& mapping);
    // Every row of the file through the checks, the rows read for the preview first; Cancelled
    // when the progress asks to stop, Failed when the file cannot be read to its end. Nothing
    // is added to the document. May run on another thread than start().
    Outcome check(Progress& progress);
    // What check() found: the deals that passed and the refused rows.
    DealImport& result() { return *import_; }
    const DealImport& result() const { return *import_; }

private:
    const ReportDocument& document_;
    QDate today_;
    QString path_;
    std::unique_ptr<TableReader> reader_;
    QStringList titles_;
    QList<TableRecord> first_;
    std::unique_ptr<DealImport> import_;
};

} // namespace varnel
