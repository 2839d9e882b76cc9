#pragma once

#include "revoke/RevocationForm.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTableView;
class QTimer;

namespace varnel {

// A revocation request dialog: fields for one deal (or repo deal part), the list of those to
// revoke, and the buttons that add, change, delete and send. The list lives only while the
// dialog is open. The deal and repo dialogs below differ in their fifth field and checks.
class RevocationDialog : public QDialog {
    Q_OBJECT

public:
    ~RevocationDialog() override;

    RevocationForm& form() { return form_; }
    RevocationFields fields() const;
    void setFields(const RevocationFields& fields);
    // The row selected in the list, -1 when none is.
    int selectedRow() const;
    // Rows of five texts put in the list as they stand (from the sending journal), the send
    // button enabled at once.
    void fillList(const QList<QStringList>& rows);

public slots:
    // Send, change and delete are enabled while the list has rows: run whenever the list
    // changes, and at each tick of tmEnabling, which the dialog keeps.
    void showListEnabling();

    void addToList();
    void changeSelectedRow();
    void deleteSelectedRow();
    void showRow(const QModelIndex& index);
    void sendList();
    void cancelRequest();

    // The Id check on leaving the field: true when the text may stay. Otherwise the user is
    // told so and the focus goes back into the field.
    bool checkId();

protected:
    RevocationDialog(RevocationKind kind, QWidget* parent);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    QLineEdit* addField(const char* name, const QString& hint);
    // True when moving the focus from the Id field to the widget runs the Id check.
    bool checksIdOnFocus(const QWidget* next) const;
    void refuseIdLater(bool swallowClick);
    void refuseId();
    void stopSwallowing();

    RevocationForm form_;
    QLineEdit* txtID_ = nullptr;
    QLineEdit* txtAgreement_ = nullptr;
    QLineEdit* txtReference_ = nullptr;
    QLineEdit* txtDirection_ = nullptr;
    QLineEdit* txtParticipant_ = nullptr;
    QLineEdit* txtReason_ = nullptr;
    QComboBox* cbAnswerMode_ = nullptr;
    QPushButton* cmdAdd_ = nullptr;
    QPushButton* cmdEdit_ = nullptr;
    QPushButton* cmdDel_ = nullptr;
    QPushButton* OKButton_ = nullptr;
    QPushButton* CancelButton_ = nullptr;
    QTableView* lvDeals_ = nullptr;
    QTimer* tmEnabling_ = nullptr;
    bool idRefusalPending_ = false;
    bool deleting_ = false; // a row is being removed: the selection the view moves is not shown
    bool swallowingClick_ = false;
};

// "Запрос на удаление сделок": ordinary deals, sent as RevokeDeals.
class dlgRevokeDeal : public RevocationDialog {
    Q_OBJECT
public:
    explicit dlgRevokeDeal(QWidget* parent = nullptr);
    // Opens the dialog modally, its list holding the rows given; returns when it has closed.
    static void Run(QWidget* parent, const QList<QStringList>& rows = {});
};

// "Запрос на удаление сделок РЕПО": one part of a repo deal each, sent as RepoRevokeDeals
// with the answer format the user chose.
class dlgRevokeDealRepo : public RevocationDialog {
    Q_OBJECT
public:
    explicit dlgRevokeDealRepo(QWidget* parent = nullptr);
    static void Run(QWidget* parent, const QList<QStringList>& rows = {});
};

} // namespace varnel
