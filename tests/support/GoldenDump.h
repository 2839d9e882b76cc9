#pragma once

#include <QString>

class QWidget;

namespace varnel::testing {

// A window's texts as a user meets them, one line a control in the order of the object tree:
// class, object name, visible/enabled/checked state, caption or text (with the field a label
// names), tool tip, and for menus and toolbars each action with its shortcut. Geometry is left out,
// so the dump holds across fonts and screens.
QString DumpWidgetTexts(const QWidget& window);

// Compares the dump with tests/<area>/golden/<name>.txt. With VARNEL_UPDATE_GOLDEN=1 in the
// environment the file is written instead (and the comparison passes), so a deliberate change
// is one run and one diff to review. On a difference the message names the first line that
// differs.
bool MatchesGolden(const QString& dump, const QString& goldenFile, QString* message);

} // namespace varnel::testing

// QVERIFY-style check of a window against its golden file.
#define VARNEL_COMPARE_GOLDEN(widget, goldenFile)                                                  \
    do {                                                                                           \
        QString golden_message_;                                                                   \
        if (!::varnel::testing::MatchesGolden(::varnel::testing::DumpWidgetTexts(widget),          \
                                              (goldenFile), &golden_message_))                     \
            QFAIL(qPrintable(golden_message_));                                                    \
    } while (false)
