#pragma once

#include "messages/RequestData.h"

#include <QString>

namespace varnel {

// Writes one outgoing document (handbook request, revocation, report) to path.
void WriteRequestXml(const QString& requestName, const QString& path, const RequestData& data = {});
// Writes a Deals or RepoDeals document: the report file format and the report message.
void WriteDealsXml(const QString& path, const ReportTable& grid);

} // namespace varnel
