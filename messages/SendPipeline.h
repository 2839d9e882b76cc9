#pragma once

#include "core/Outcome.h"
#include "messages/RequestData.h"

#include <QString>

class QWidget;

namespace varnel {

// Asks for confirmation, writes the request into the work folder under a unique name and
// moves it into the send folder. Every outcome is shown to the user through the dialog
// facade; nothing is raised to the caller.
void SendRequest(const QString& requestName, const RequestData& data = {},
                 QWidget* parent = nullptr);

// The same without a user: writes the request and places it in the send folder, asking and
// showing nothing (the command-line program). The request file is the one SendRequest writes
// for the same data, and the watcher is told of it alike. target learns where it was placed.
Outcome PlaceRequest(const QString& requestName, const RequestData& data = {},
                     QString* target = nullptr);

// A fresh, unique file name in folder, made from the first three characters of prefix.
QString MakeWorkFileName(const QString& prefix, const QString& folder, const QString& extension);

} // namespace varnel
