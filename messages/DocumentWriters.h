#pragma once

#include "messages/ReportFileWriter.h"
#include "messages/RequestData.h"

#include <QString>

namespace varnel {

// Writes one outgoing document (handbook request, revocation, report) to path.
void WriteRequestXml(const QString& requestName, const QString& path, const RequestData& data = {});

} // namespace varnel
