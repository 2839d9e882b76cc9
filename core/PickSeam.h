#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace varnel {

// How a report editor asks for a value from a pick list. The report windows call Pick(); the
// handbook part registers the two dialogs that answer it. Until they are registered (and in
// tests that register their own) a pick returns an empty result: nothing was picked.
struct PickRequest {
    QString source;      // the field's pick source: a definition file (".XML") or a fixed list
    QString currentText; // the field's current text
    int xTwips = 0;      // where the dialog's top-left corner goes, in twips of the screen
    int yTwips = 0;
    QString settingsKey; // "Pick_" + field name: the key of the saved size and column widths
    QWidget* parent = nullptr;
};

// The chosen row's shown columns, one a line, joined with CR LF; empty when nothing was picked.
using PickFunction = std::function<QString(const PickRequest&)>;

enum class PickList {
    Handbook, // dlgPickXMLFile: the source names a definition file (contains ".XML", any case)
    Fixed     // dlgPick: rows and columns written in the source itself
};

// The list a source goes to: Handbook when the upper-cased source contains ".XML".
PickList PickListOf(const QString& source);

// Runs the pick through the registered function of its list.
QString Pick(PickList list, const PickRequest& request);

// Registers the function that answers picks of a list; returns the one it replaces. An empty
// function restores the default (an empty result).
PickFunction SetPickFunction(PickList list, PickFunction function);

// Sets a pick function for the lifetime of the guard (tests).
class ScopedPickFunction {
public:
    ScopedPickFunction(PickList list, PickFunction function)
        : list_(list), previous_(SetPickFunction(list, std::move(function)))
    {
    }
    ~ScopedPickFunction() { SetPickFunction(list_, std::move(previous_)); }
    ScopedPickFunction(const ScopedPickFunction&) = delete;
    ScopedPickFunction& operator=(const ScopedPickFunction&) = delete;

private:
    PickList list_;
    PickFunction previous_;
};

} // namespace varnel
