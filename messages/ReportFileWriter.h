#pragma once

#include <QString>

namespace varnel {

class ReportTable;

// Writes a Deals or RepoDeals document: the report file format and the report message alike
// (the report file's reader is reports/ReportFile.h; the writer stays here, below the reports,
// because the send pipeline writes the report message with it too).
void WriteDealsXml(const QString& path, const ReportTable& grid);

} // namespace varnel
