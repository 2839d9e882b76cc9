#pragma once

#include "messages/RequestData.h"

#include <QString>

class QWidget;

namespace varnel {

// Asks for confirmation, writes the request into the work folder under a unique name and
// moves it into the send folder. Every outcome is shown to the user through the dialog
// facade; nothing is raised to the caller.
void SendRequest(const QString& requestName, const RequestData& data = {},
                 QWidget* parent = nullptr);

// A fresh, unique file name in folder, made from the first three characters of prefix.
QString MakeWorkFileName(const QString& prefix, const QString& folder, const QString& extension);

} // namespace varnel
