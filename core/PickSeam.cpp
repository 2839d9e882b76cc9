#include "core/PickSeam.h"

namespace varnel {
namespace {

PickFunction& slot(PickList list)
{
    static PickFunction handbook;
    static PickFunction fixed;
    return list == PickList::Handbook ? handbook : fixed;
}

} // namespace

PickList PickListOf(const QString& source)
{
    return source.toUpper().contains(QStringLiteral(".XML")) ? PickList::Handbook : PickList::Fixed;
}

QString Pick(PickList list, const PickRequest& request)
{
    const PickFunction& f = slot(list);
    return f ? f(request) : QString();
}

PickFunction SetPickFunction(PickList list, PickFunction function)
{
    PickFunction previous = std::move(slot(list));
    slot(list) = std::move(function);
    return previous;
}

} // namespace varnel
