#include "core/ReportTable.h"

#include "core/Values.h"

namespace varnel {

ReportField ReportTable::field(int column) const
{
    const QString d = columnDescriptor(column);
    return {GetTagValue(d, QStringLiteral("name=")), GetTagValue(d, QStringLiteral("type=")),
            GetTagValue(d, QStringLiteral("empty="))};
}

} // namespace varnel
