#include "journal/JournalDocuments.h"

namespace varnel::journal {

RequestDocumentReader::RequestDocumentReader(const QString& path)
    : reader_(path, [] {
          XmlStreamOptions options;
          options.regularFileOnly = true;
          return options;
      }())
{
}

bool RequestDocumentReader::next(Attributes& row)
{
    if (!reader_.next(element_))
        return false;
    row = std::move(element_.attributes);
    element_.attributes = {};
    return true;
}

QString ValueOf(const Attributes& attributes, QStringView name)
{
    for (const auto& a : attributes) {
        if (a.first == name)
            return a.second;
    }
    return QString();
}

DealEntry DealOfRow(int n, Attributes row)
{
    DealEntry deal;
    deal.n = n;
    deal.agreement = ValueOf(row, u"Agreement");
    deal.reference = ValueOf(row, u"Reference");
    deal.participant = ValueOf(row, u"Participant");
    deal.issue = ValueOf(row, u"Issue");
    deal.direction = ValueOf(row, u"Direction");
    deal.target = ValueOf(row, u"Id");
    deal.fields = std::move(row);
    return deal;
}

} // namespace varnel::journal
