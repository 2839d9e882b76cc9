#pragma once

#include <QDialog>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <memory>

class QPushButton;
class QTableView;

namespace varnel {

class PickModel;
class WindowPlacement;

// What the two pick dialogs share: the list `lvGrid` over a PickModel, the OK and Cancel
// buttons, the size kept per settings key, the placement beside the caller's field, the keys
// Esc and Enter wherever the focus is, and the result text of the chosen row.
class PickDialogBase : public QDialog {
    Q_OBJECT

public:
    // The text of the chosen row (see PickResultText); empty when nothing was picked.
    const QString& resultText() const { return result_; }
    PickModel* model() const { return model_; }
    QTableView* lvGrid() const { return lvGrid_; }
    QPushButton* OKButton() const { return OKButton_; }
    QPushButton* CancelButton() const { return CancelButton_; }

    // The screen area the placement keeps clear of: available geometry in pixels (tests set
    // it; by default that of the screen under the requested corner).
    static void SetScreenAreaForTesting(const QRect& area);

public slots:
    // Picks the selected row: OK button, Enter. Nothing without a selected row.
    void pickSelectedRow();
    // Double click at a point of the list's viewport: selects the row there and picks it;
    // nothing over empty space.
    void pickRowAt(const QPoint& viewportPosition);

protected:
    PickDialogBase(QWidget* parent, const QSize& designTwips);
    ~PickDialogBase() override;

    // Resets the result and remembers the settings key.
    void beginPick(const QString& settingsKey);
    // Dialog size from the per-user store (application = title + key, entries key + "Width"
    // and key + "Height", twips), else the design size.
    void restoreSize();
    // Top-left corner at (x, y) screen twips, pulled back so that the dialog ends 100 pixels
    // before the right and bottom edges of the screen.
    void placeAt(int xTwips, int yTwips);
    // Column widths: entry of section "Grid_" + key, by the column's attribute name or, for a
    // column without one, by its number; a value below 1 gives the default.
    int storedColumnWidth(int column, int defaultTwips) const;
    void applyColumnWidths(const QList<int>& twips);
    // Once the rows are in: a column narrower than its title or its widest text grows to show
    // them whole, and a dialog narrower than its columns grows to show them all, as far as the
    // screen's width allows; wider ones, as stored, stay so. Before placeAt().
    void fitToColumns();
    // Runs the dialog modally, then saves column widths and size.
    void runPick();

    // Key handling that works wherever the focus is; F3 and the like in the subclass.
    virtual bool previewKey(int key);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Routes the keys of the widget (and its children) through previewKey().
    void watchKeys(QWidget* widget);

    double twipsPerPixel() const;
    int toPixels(double twips) const;

    QString settingsKey_;
    QString result_;
    PickModel* model_ = nullptr;
    QTableView* lvGrid_ = nullptr;
    QPushButton* OKButton_ = nullptr;
    QPushButton* CancelButton_ = nullptr;

private:
    void saveLayout();
    QString storeApplication() const;
    WindowPlacement sizeRecord() const;
    QString gridSection() const;

    QSize designTwips_;
    // What the widths and the size were set from: a column or a dialog that keeps its size in
    // pixels is written back with the twips it was given, not with those of its rounded pixels.
    QList<int> columnTwips_;
    QSizeF sizeTwips_; // the size as read, kept where the dialog was not resized
};

} // namespace varnel
