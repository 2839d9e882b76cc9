#pragma once

#include "handbook/window/PickDialogBase.h"

#include <QHash>
#include <QIcon>
#include <QVariant>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QStatusBar;

namespace varnel {

struct PickRequest;

// "Выбор из справочника" over the current securities handbook: the columns come from a pick
// definition file, the rows from the handbook; sorting by any column with a header click and
// incremental search in the sorted column.
class dlgPickXMLFile : public PickDialogBase {
    Q_OBJECT

public:
    explicit dlgPickXMLFile(QWidget* parent = nullptr);
    ~dlgPickXMLFile() override;

    // The pick on a new dialog: tag (definition file), the field's current text (unused), the
    // corner in screen twips, the settings key. Returns the chosen row's text, empty when
    // nothing was picked or the dialog failed (its failure shown in a critical box).
    QString PickData(const QString& sTag, const QString& sText, int x, int y, const QVariant& vKey);
    // The pick function of the report editors: a new dialog owned by the main window.
    static QString Pick(const PickRequest& request);

    // Fills the list from a handbook file (an empty or missing file leaves it empty).
    void LoadFile(const QString& sFileName);

    // Sort column (1-based) and order, and the row the search found last (list position,
    // -1 for none).
    int sortColumn() const { return sortColumn_; }
    bool ascending() const { return ascending_; }
    int lastFoundRow() const;
    // Text of status panel 1 (row count) or 2 (file state).
    QString statusText(int panel) const;
    // The header images keyed "Asc" and "Desc".
    QIcon sortImage(const QString& key) const { return imlSort_.value(key); }

    QLineEdit* txtFind() const { return txtFind_; }
    QPushButton* cmdFindNext() const { return cmdFindNext_; }
    QCheckBox* chkFind() const { return chkFind_; }
    QLabel* lblFind4() const { return lblFind4_; }

public slots:
    // Header click on column c (1-based).
    void sortByColumn(int column);
    void searchFromFirstRow();
    void toggleSearchInside();
    // "след" and F3: the next match after the last found row.
    void findNext();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool previewKey(int key) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setStatus(int panel, const QString& text);
    // Searches from the list position `from` and selects the match.
    void search(int from);
    void selectRow(int row);
    void arrange();

    QLineEdit* txtFind_ = nullptr;
    QPushButton* cmdFindNext_ = nullptr;
    QCheckBox* chkFind_ = nullptr;
    QLabel* lblFind4_ = nullptr;
    QFrame* lblFind_ = nullptr;
    QFrame* lblFind3_ = nullptr;
    QFrame* lblFind2_ = nullptr;
    QStatusBar* stbInfo_ = nullptr;
    QLabel* panel1_ = nullptr;
    QLabel* panel2_ = nullptr;
    QHash<QString, QIcon> imlSort_;

    int sortColumn_ = 1;
    bool ascending_ = false;
    // "след" is enabled while there is a last found row and a search text: it follows both.
    void setLastFound(int documentIndex);
    void showFindNextState();

    int lastFound_ = -1; // document index of the row found last
};

} // namespace varnel
