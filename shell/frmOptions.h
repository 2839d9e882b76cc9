#pragma once

#include "shell/OptionsModel.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace varnel {

// "Настройка параметров системы": the participant code, the message language, the four
// stylesheets and the three folders of the settings file.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);

    // The field (line edit or language list) of one setting.
    QWidget* fieldWidget(OptionField field) const;
    // The values as the fields show them now.
    OptionsModel currentValues() const;

signals:
    // A status bar panel of the main window should show the text (Apply refreshes panel 2).
    void statusInfo(int panel, const QString& text);

public slots:
    // Apply is enabled while a field differs from its setting (as the dialog is shown, at every
    // edit and save, and at the tick of Timer1).
    void showApplyState();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // OK: saves every field and closes; a failed write keeps the dialog open.
    void saveAndClose();
    // Apply: saves every field and refreshes the main window's language panel.
    void apply();
    void browseSchema(QLineEdit* field, const QString& title);
    void browseFolder(QLineEdit* field, const QString& title);
    // The schema files page or the folders page: a path field with a "..." button for each.
    enum class BrowsePage { Schemas, Folders };
    QWidget* buildBrowsePage(BrowsePage kind);
    QLineEdit* addLineField(OptionField field, const QString& hint, QWidget* parent);

    QLineEdit* lineEdits_[kOptionFieldCount] = {};
    QComboBox* cmbLanguage_ = nullptr;
    QTabWidget* tbsOptions_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QPushButton* cmdApply_ = nullptr;
    QTimer* Timer1_ = nullptr;
    bool centred_ = false;
};

} // namespace varnel
