#pragma once

#include "messages/RequestKinds.h"

#include <QString>

namespace varnel {

// What differs between the two kinds of report window (ReportKind, with the request each is
// sent as, is in messages/RequestKinds.h); the rules that take the kind hold the rest.
struct ReportKindTraits {
    const char* windowName; // "frmReport", "frmReportRepo"
    const char* layoutFile; // in the program folder
    int slotCount;          // editor slots of the window
    const char* newCaption; // "[New Report %1]", "[New Report REPO %1]"
};

inline const ReportKindTraits& TraitsOf(ReportKind kind)
{
    static const ReportKindTraits deals{"frmReport", "deals_struct_client.xml", 29,
                                        "[New Report %1]"};
    static const ReportKindTraits repo{"frmReportRepo", "repo_deals_struct_client.xml", 24,
                                       "[New Report REPO %1]"};
    return kind == ReportKind::Repo ? repo : deals;
}

// The file dialogs of reports: their filter, and the suffix a name typed without one gets.
inline QString ReportFileFilter()
{
    return QStringLiteral("xml-files (*.xml);;all files (*)");
}
inline QString ReportFileSuffix()
{
    return QStringLiteral("xml");
}

} // namespace varnel
