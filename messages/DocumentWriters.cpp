#include "messages/DocumentWriters.h"

#include "core/Error.h"
#include "core/SettingKeys.h"
#include "core/Values.h"
#include "messages/DocumentFile.h"
#include "messages/ReportFileWriter.h"
#include "messages/RequestKinds.h"

namespace varnel {
namespace {

void writeRevocation(DocumentFile& f, const RevocationList* list, bool repo, const QString& lang)
{
    static const char* const dealNames[5] = {"Id", "Agreement", "Reference", "Participant",
                                             "Reason"};
    static const char* const repoNames[5] = {"Id", "Agreement", "Reference", "Direction",
                                             "Participant"};
    if (repo) {
        f.ascii("<RepoRevokeDeals");
        WriteAttribute(f, "Language", EscapeXmlAttribute(lang));
        WriteAttribute(f, "ReplyType", EscapeXmlAttribute(list->replyType()));
        f.ascii(" >");
    } else {
        f.ascii("<RevokeDeals");
        WriteAttribute(f, "Language", EscapeXmlAttribute(lang));
        f.ascii(" >");
    }
    f.endLine();
    const char* const* names = repo ? repoNames : dealNames;
    for (int r = 0; r < list->rowCount(); ++r) {
        f.ascii(repo ? "   <RepoRevokeDeal" : "<RevokeDeal");
        for (int k = 0; k < 5; ++k) {
            const QString v = TrimSpaces(list->cell(r, k));
            if (!v.isEmpty())
                WriteAttribute(f, names[k], EscapeXmlAttribute(v));
        }
        f.ascii(" />");
        f.endLine();
    }
    f.ascii(repo ? "</RepoRevokeDeals>" : "</RevokeDeals>");
    f.endLine();
}

} // namespace

void WriteRequestXml(const QString& requestName, const QString& path, const RequestData& data)
{
    const RequestKind* kind = FindRequestKind(requestName, Qt::CaseInsensitive);
    // A request without its data is refused before the file is made, rather than leaving a
    // document cut short at its first row.
    if (kind && kind->carries == RequestKind::Carries::Report) {
        if (!data.report)
            Fail(QStringLiteral("Нет данных отчета для запроса ") + requestName);
        WriteDealsXml(path, *data.report);
        return;
    }
    const bool revocation = kind && kind->carries == RequestKind::Carries::Revocation;
    if (revocation && !data.revocation)
        Fail(QStringLiteral("Нет списка сделок для запроса ") + requestName);
    const QString lang = MessageLanguage();
    DocumentFile f(path);
    WriteDocumentFrame(f);
    if (kind && kind->carries == RequestKind::Carries::Nothing) {
        f.ascii("<");
        f.ascii(kind->name);
        WriteAttribute(f, "Language", EscapeXmlAttribute(lang));
        f.ascii(" />");
        f.endLine();
    } else if (revocation) {
        writeRevocation(f, data.revocation, kind->request == OutgoingRequest::RepoRevokeDeals,
                        lang);
    }
    f.close();
}

} // namespace varnel
