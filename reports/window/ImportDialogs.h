#pragma once

#include "reports/DealImport.h"
#include "reports/ReportKind.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableView;

namespace varnel {

class ImportRun;
class ReportDocument;
class ImportMappingModel;
struct UnfilledFields;
class RefusedRowsModel;
class ReportModel;

// The three dialogs of the deal import, views over the models of ImportModels.h. Each runs
// through the dialog facade, so that tests act on it.

// Which report to import into when no report window is active.
class dlgImportKind : public QDialog {
    Q_OBJECT
public:
    explicit dlgImportKind(QWidget* parent = nullptr);
    ReportKind kind() const;
    QRadioButton* optDeals() const { return optDeals_; }
    QRadioButton* optRepo() const { return optRepo_; }

    // The kind chosen; nothing when the user cancelled.
    static std::optional<ReportKind> Ask(QWidget* parent);

private:
    QRadioButton* optDeals_ = nullptr;
    QRadioButton* optRepo_ = nullptr;
};

// The file's columns beside the report's fields: a combo box per column ("не загружать"
// allowed), the first rows as a preview, the fields no column fills, and "Загрузить" while no
// field is chosen twice.
class dlgImportMapping : public QDialog {
    Q_OBJECT
public:
    dlgImportMapping(ImportMappingModel& model, const QString& fileName, QWidget* parent = nullptr);

    QTableView* lvColumns() const { return lvColumns_; }
    // The combo box of a column of the file.
    QComboBox* cmbField(int fileColumn) const;
    QPushButton* cmdLoad() const;
    QLabel* lblProblem() const { return lblProblem_; }
    QLabel* lblUnfilled() const { return lblUnfilled_; }

    // The mapping the user took; nothing when cancelled.
    static std::optional<ImportMapping>
    Ask(QWidget* parent, const ReportModel& report, const ImportMapping& proposal,
        const QList<QStringList>& preview, const QString& fileName, const UnfilledFields& unfilled);

private:
    void showState();

    ImportMappingModel& model_;
    QTableView* lvColumns_ = nullptr;
    QLabel* lblProblem_ = nullptr;
    QLabel* lblUnfilled_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

// The rows the import refused, each with its reason: copied to the clipboard or saved as CSV.
class dlgImportResult : public QDialog {
    Q_OBJECT
public:
    // refusedRows: how many rows were refused, when the list keeps only the first of them.
    dlgImportResult(RefusedRowsModel& model, const QString& summary, int refusedRows = 0,
                    QWidget* parent = nullptr);

    QTableView* lvRefused() const { return lvRefused_; }
    QPushButton* cmdCopy() const { return cmdCopy_; }
    QPushButton* cmdSave() const { return cmdSave_; }

    static void Show(QWidget* parent, const QList<RefusedRow>& rows, const QString& summary,
                     int refusedRows);

public slots:
    void copyRows();
    void saveRows();

private:
    RefusedRowsModel& model_;
    QTableView* lvRefused_ = nullptr;
    QPushButton* cmdCopy_ = nullptr;
    QPushButton* cmdSave_ = nullptr;
};

// Where the columns of the file the run has opened go: as the user chose for files of these
// titles before, else by the titles, else as the user chooses now in dlgImportMapping (and that
// choice is remembered). Nothing when the user cancelled.
std::optional<ImportMapping> SettleImportMapping(QWidget* parent, const ReportDocument& document,
                                                 const ImportRun& run);

} // namespace varnel
