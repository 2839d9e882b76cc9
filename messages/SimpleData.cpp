#include "messages/SimpleData.h"

namespace varnel {

void SimpleRevocationList::addRow(QStringList cells)
{
    cells = cells.mid(0, 5);
    while (cells.size() < 5)
        cells.append(QString());
    rows_.append(std::move(cells));
}

} // namespace varnel
