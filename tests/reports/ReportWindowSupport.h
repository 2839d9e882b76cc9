#pragma once

// What the suites of the report windows share: a window of a kind built from its layout, its
// fields by name, a deal the checks accept, and the text of the last box shown.
#include "ReportTestSupport.h"

#include "reports/window/frmReport.h"

#include <QDate>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace varnel::test {

using Window = std::unique_ptr<ReportEditorWindow>;

// Today as the date fields show it.
inline QString today()
{
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
}

class ReportWindowRun : protected ReportRun {
protected:
    static Window open(ReportKind kind)
    {
        return Window(static_cast<ReportEditorWindow*>(NewReportWindow(kind)));
    }
    // The window at the size its fields ask for, shown and made the active one, as the user
    // meets it; false when it never became active.
    static bool showActive(const Window& w)
    {
        w->resize(w->sizeHint());
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
    static QLineEdit* box(const Window& w, const char* name)
    {
        return w->txtEdit(w->editor().slotOfName(QString::fromLatin1(name)));
    }
    static void set(const Window& w, const char* name, const QString& text)
    {
        QLineEdit* b = box(w, name);
        QVERIFY2(b, name);
        b->setText(text);
    }
    static QString get(const Window& w, const char* name) { return box(w, name)->text(); }
    // A deal the checks accept, with its own Reference.
    static void fillDeal(const Window& w, const QString& reference)
    {
        set(w, "Issue", QStringLiteral("SU26238RMFS4"));
        set(w, "Agreement", QStringLiteral("AG-") + reference);
        set(w, "Reference", reference);
        set(w, "Price", QStringLiteral("101.25"));
        set(w, "Qty", QStringLiteral("10"));
        set(w, "Currency", QStringLiteral("RUB"));
        if (w->kind() == ReportKind::Repo) {
            set(w, "Amount", QStringLiteral("1012.50"));
            set(w, "RepurchaseAmount", QStringLiteral("1020.00"));
            set(w, "RepoDays", QStringLiteral("7"));
        }
    }
    QString lastText() const
    {
        return dialogs_->shown().isEmpty() ? QString() : dialogs_->last().text;
    }
};

} // namespace varnel::test
