#pragma once

#include "core/Outcome.h"
#include "reports/DealChecks.h"
#include "reports/FieldRules.h"
#include "reports/ReportKind.h"
#include "reports/ReportLayout.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace varnel {

class ReportModel;

// One report, free of widgets: its kind and layout, its deals (the model the grid lvDeals shows
// and the writers read), the file it belongs to, the changed flag and the two failure marks.
// The report windows are views over it; everything a report does without a user in front of
// it (loading, checking, saving, adding deals from elsewhere) is done here.
//
// The changed flag becomes true when a deal is added, changed, deleted or appended through the
// document, and false after a save or when the user lets the changes go; loading leaves it
// alone. Every state change is signalled, so that what shows the state follows it at once.
class ReportDocument : public QObject {
    Q_OBJECT
public:
    // How the document runs a step that may take long (reading or writing a big report): the
    // work given must run to its end before the call returns, and may run on another thread;
    // what it stands for is the text given ("Загружается файл ..."). A window runs it beside
    // its user-interface thread, so that it keeps painting and shows progress; by default the
    // work runs in place.
    using LongStepRunner =
        std::function<void(const QString& what, const std::function<void()>& work)>;

    explicit ReportDocument(ReportKind kind, QObject* parent = nullptr);
    ~ReportDocument() override;

    void setLongStepRunner(LongStepRunner runner);

    ReportKind kind() const { return kind_; }
    ReportModel& rows() { return *rows_; }
    const ReportModel& rows() const { return *rows_; }
    int rowCount() const;

    // Builds the columns from the kind's layout file in the program folder: every shown field
    // a column, its width from the settings (Grid_Reports) when one is stored there. On failure
    // the document has no field columns, layoutFailed() is true (lblLoadFail) and the outcome
    // holds the text.
    Outcome buildFromLayout();
    const ReportLayout& layout() const { return layout_; }
    bool layoutFailed() const { return layoutFailed_; }

    // The report file (lblFileName); empty for a report never saved.
    const QString& fileName() const { return fileName_; }
    // The changed flag (lblChanged).
    bool isChanged() const { return changed_; }
    // The user's No at the close prompt: the changes are let go.
    void discardChanges() { setChanged(false); }
    // True after the bound file could not be read: its deals are not here, so a save never
    // replaces it unless the user says so (see save()).
    bool fileUnreadable() const { return fileUnreadable_; }

    // Loads a report file: binds the document to path and replaces the rows with its deals. A
    // path with no file behind it gives an empty report bound to that path. A file that cannot
    // be read leaves no rows, stays the bound file and marks it unreadable. The file is read as
    // a long step, and its deals come into the rows in parts as they are read, so that a view
    // shows the first of them at once.
    Outcome load(const QString& path);
    // IsReportCorrect: the dry run of what saving converts; failed with the first failure.
    Outcome isCorrect() const;
    // Saves to the bound file. A name is asked for first (the save dialog, parented to
    // askParent) when there is none, and also when the bound file could not be read; choosing
    // that very file then needs the user's Yes to a question that names what is lost. A name
    // chosen stays the file name even when the check or the write that follows fails.
    Outcome save(QWidget* askParent = nullptr);
    // Saves under path and binds the document to it; replacing the unreadable bound file asks
    // first, as save() does.
    Outcome saveAs(const QString& path, QWidget* askParent = nullptr);

    // The field check of a column's value, exactly as leaving the editor field runs it.
    FieldCheck checkField(int column, const QString& text, const QDate& today) const;
    // The same with the locale's number settings as read for a whole import.
    FieldCheck checkField(int column, const QString& text, const QDate& today,
                          const NumberReading& numbers) const;
    // The deal check of a deal given as field cells (column 1 onwards), its duplicate rules
    // asked of keys.
    DealCheck checkDeal(const QStringList& fields, const DealKeys& keys, DealCheckMode mode,
                        int row = -1) const;

    // The default participant (Main/Participant, or the given one read once for a whole run)
    // goes into an empty Participant field: the text the field then holds. The editor and the
    // import both apply it through here, before the deal check.
    QString participantOrDefault(const QString& text) const;
    static QString participantOrDefault(const QString& text, const QString& participant);
    // The same over a deal given as field cells (column 1 onwards), when the layout has the field.
    void applyDefaultParticipant(QStringList& fields, const QString& participant) const;

    // Add and change: the deal check against the rows, then the rows. Each is done when the
    // rows took the deal, else failed with the failed rule's text; nothing changes on failure.
    Outcome addDeal(const QStringList& fields, int* addedRow = nullptr);
    Outcome changeDeal(int row, const QStringList& fields);
    void deleteDeal(int row);
    // Deals checked elsewhere, appended at once: one insertion for the views and one change of
    // the changed flag, however many deals.
    void appendDeals(const QList<QStringList>& deals);
    void appendDeals(QList<QStringList>&& deals);

signals:
    void fileNameChanged(const QString& path);
    void changedChanged(bool changed);
    void layoutFailedChanged(bool failed);
    void fileUnreadableChanged(bool unreadable);
    // The number of deals, after every change of the rows.
    void rowCountChanged(int rows);
    // A file is about to be read, or written (either may take a while).
    void loadStarted(const QString& path);
    void saveStarted(const QString& path);

private:
    void setFileName(const QString& path);
    void setChanged(bool changed);
    void setFileUnreadable(bool unreadable);
    Outcome write(const QString& path);
    // Runs work through the long step runner; what it raises is raised here.
    void runLong(const QString& what, const std::function<void()>& work);
    // The user's consent before the unreadable bound file is replaced; true when path is
    // another file.
    bool mayReplace(const QString& path, QWidget* askParent) const;

    ReportKind kind_;
    ReportModel* rows_;
    ReportLayout layout_;
    QString fileName_;
    bool changed_ = false;
    bool layoutFailed_ = false;
    bool fileUnreadable_ = false;
    LongStepRunner runner_;
};

} // namespace varnel
