#pragma once

#include <QString>

namespace varnel {

// The two kinds of report: ordinary deals (frmReport) and repo deals (frmReportRepo). The
// windows share one design; what differs is listed here and in the rules that take the kind.
enum class ReportKind { Deals, Repo };

struct ReportKindTraits {
    const char* windowName;  // "frmReport", "frmReportRepo"
    const char* layoutFile;  // in the program folder
    int slotCount;           // editor slots of the window
    const char* requestName; // "Deals", "RepoDeals"
    const char* newCaption;  // "[New Report %1]", "[New Report REPO %1]"
};

inline const ReportKindTraits& TraitsOf(ReportKind kind)
{
    static const ReportKindTraits deals{"frmReport", "deals_struct_client.xml", 29, "Deals",
                                        "[New Report %1]"};
    static const ReportKindTraits repo{"frmReportRepo", "repo_deals_struct_client.xml", 24,
                                       "RepoDeals", "[New Report REPO %1]"};
    return kind == ReportKind::Repo ? repo : deals;
}

} // namespace varnel
