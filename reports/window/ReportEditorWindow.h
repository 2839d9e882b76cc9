#pragma once

#include "core/ChildWindow.h"
#include "reports/ReportDocument.h"
#include "reports/ReportEditor.h"
#include "reports/ReportKind.h"

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableView;

namespace varnel {

class DatePicker;
class ReportModel;

// The report editor: a view over a ReportDocument. The deals grid lvDeals above an editor panel
// with one labelled text box per layout field, the four buttons, the floating pick button and
// (deal window) the date picker. frmReport and frmReportRepo are this window for their kind.
//
// What the window shows of the document follows the document's signals: the caption (the file
// name, or the caption the main window gave a new report, with " * " while the report has
// changes), the count in the status bar, change and delete enabled while there are deals, and
// the hidden labels lblFileName, lblChanged and lblLoadFail that hold the state by name.
//
// ReportEditorWindow.cpp holds the document's side and the commands; ReportEditorFields.cpp the
// fields, the pick button and the date picker; ReportEditorGeometry.cpp the arrangement of the
// controls and the window's placement.
class ReportEditorWindow : public QWidget,
                           public ChildWindow,
                           public ReportWindow,
                           private EditorPanel {
    Q_OBJECT
public:
    // Builds the window from the kind's layout file; when that fails the user has been told
    // and loadFailed() is true.
    explicit ReportEditorWindow(ReportKind kind, QWidget* parent = nullptr);
    ~ReportEditorWindow() override;

    // ChildWindow
    ChildKind childKind() const override;
    ReportWindow* asReport() override { return this; }
    bool PrepareToClose() override;
    void KeepOpen() override { closeAgreed_ = false; }

    // ReportWindow: LoadFile, SaveFile and SaveFileAs report their own failures.
    void LoadFile(const QString& path) override;
    bool SaveFile() override;
    bool SaveFileAs(const QString& path) override;
    Outcome IsReportCorrect() const override;
    const ReportTable& lvDeals() const override;
    bool loadFailed() const override;
    QString fileName() const override;

    ReportKind kind() const { return kind_; }
    ReportDocument& document() const { return *document_; }
    bool isChanged() const;
    ReportModel& model() const;
    ReportEditor& editor() const { return *editor_; }
    QTableView* grid() const { return lvDeals_; }
    QLineEdit* txtEdit(int slot) const { return txtEdit_.value(slot); }
    QLabel* lblEdit(int slot) const { return lblEdit_.value(slot); }
    // A button of the panel by its object name (cmdAdd, cmdEdit, cmdDel, cmdClear, cmdPick).
    QPushButton* button(const QString& name) const;
    DatePicker* datePicker() const { return dtPickDate_; }
    // Text of status panel 1 or 2.
    QString statusText(int panel) const;
    int currentSlot() const { return currentSlot_; }
    int selectedRow() const;
    void selectRow(int row);
    // The report's file, or the caption of a report not saved yet.
    QString nameOfReport() const;
    // Editor columns of the repo window (1 or 2); always 2 for deals.
    int editorColumns() const { return editorColumns_; }
    // Standard width of the text boxes, in twips.
    int standardEditorWidth() const { return standardWidth_; }

    // The size the window opens with when no placement is stored yet.
    QSize sizeHint() const override;

    // ReportEditorImport.cpp: deals from a table file, read and checked beside the window with
    // its progress, the columns mapped to the fields, the rows that pass appended at once and
    // those refused listed; the window reports how it ended ("Загружено n из m, отклонено k"
    // in status panel 2); false when the file was not read through (it could not be, or the
    // user stopped). And the grid written as a workbook or a CSV file, by the file's name:
    // true when written; the changed flag stays as it was.
    bool importDeals(const QString& path);
    bool exportTable(const QString& path);

public slots:
    // The commands of the panel: "добавить", "изменить", "удалить", "очистить поля" and "...".
    void addDeal();
    void changeSelectedDeal();
    void deleteSelectedDeal();
    void clearFields();
    void pickIntoField();
    // A click on a row (0-based) shows its deal; a double click at a point of the grid's
    // viewport selects the row there and shows it.
    void showDealOfRow(int row);
    void showDealAt(const QPoint& viewportPos);
    // The window became the active child window: the first shown field takes the focus.
    void focusFirstField();
    // Places the controls for the window's current size.
    void arrangeControls();
    // The focus entered the text box of a slot.
    void enterField(int slot);
    // The focus left the text box of a slot; its check runs once the focus has settled.
    void leaveField(int slot);
    // The field check of a slot: shows the failure and keeps the focus there; true on success.
    bool checkField(int slot);
    // The date picker is done: its value goes into its field.
    void closeDatePicker();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // EditorPanel
    QString slotText(int slot) const override;
    void setSlotText(int slot, const QString& text) override;

    // ReportEditorWindow.cpp
    void followDocument();
    void buildFromLayout();
    void showCaption();
    void showCount();
    void showEnabling();
    bool confirmClose();
    bool reportSaveOutcome(const Outcome& outcome);
    bool refused(const Outcome& outcome);

    // ReportEditorFields.cpp
    void createControls();
    void showFields();
    bool runPendingCheck();
    void deferPendingCheck();
    void setCurrentLabel(int slot);
    void showPickButton(int slot);
    void hidePickButton();
    void openDatePicker(int slot);
    void followPickerFocus(QWidget* old, QWidget* now);

    // ReportEditorGeometry.cpp
    // The design arrangement until the window gets its size, and the smallest size its rules
    // allow.
    void arrangeFirst();
    void arrange(int clientWidthTwips, int clientHeightTwips, bool force);
    int panelHeightTwips(int columns) const;
    int statusHeightTwips() const;
    void placeSlot(int slot, int labelLeft, int boxLeft, int top, int boxWidth);
    void restorePlacement();
    void savePlacement();
    void saveColumnWidths();
    int px(double twips) const;
    double twips(int pixels) const;

    // The pick button's width, and the date picker's while it is hidden.
    static constexpr int kPickWidthTwips = 285;
    static constexpr int kPickerWidthHiddenTwips = 3000;

    ReportKind kind_;
    ReportDocument* document_ = nullptr;
    std::unique_ptr<ReportEditor> editor_;

    QTableView* lvDeals_ = nullptr;
    QFrame* grpEdit_ = nullptr;
    QList<QLabel*> lblEdit_;
    QList<QLineEdit*> txtEdit_;
    QPushButton* cmdAdd_ = nullptr;
    QPushButton* cmdEdit_ = nullptr;
    QPushButton* cmdDel_ = nullptr;
    QPushButton* cmdClear_ = nullptr;
    QPushButton* cmdPick_ = nullptr;
    DatePicker* dtPickDate_ = nullptr;
    QLabel* picEdit_ = nullptr;
    QStatusBar* stbInfo_ = nullptr;
    QLabel* stbPanel1_ = nullptr;
    QLabel* stbPanel2_ = nullptr;
    QLabel* lblFileName_ = nullptr;
    QLabel* lblChanged_ = nullptr;
    QLabel* lblLoadFail_ = nullptr;

    // The caption without the changed mark: the file name, or what the main window gave a new
    // report.
    QString caption_;
    // The first field asked for the focus while the main window was not active.
    bool firstFieldPending_ = false;
    bool showingCaption_ = false;

    int currentSlot_ = 0;
    int boldSlot_ = -1;
    QString currentFieldName_;
    int standardWidth_ = 3000; // twips
    int editorColumns_ = 2;
    QPoint pickerHome_;   // twips within the panel
    int pickerSlot_ = -1; // the field the open picker edits
    bool pickerEntered_ = false;
    int pickSlot_ = -1;     // the field the pick button stands beside
    int pendingCheck_ = -1; // a field left whose check has not run yet
    bool refocusing_ = false;
    bool placementRestored_ = false;
    QPointer<QObject> activationSource_; // the frame window whose activation we follow
    bool layoutLoaded_ = false;
    // The user has answered the question about closing (PrepareToClose).
    bool closeAgreed_ = false;
};

} // namespace varnel
