#include "reports/ReportLayout.h"

#include "core/AppContext.h"
#include "core/Error.h"
#include "core/XmlLoad.h"
#include "reports/FieldFormat.h"

#include <QSet>

#include <libxml/tree.h>

namespace varnel {
namespace {

constexpr int kDefaultWidth = 1000;
// A hundred inches: wider than any screen, small enough for every later conversion.
constexpr int kMaxWidth = 144000;

// The layout's width: a number (either decimal separator) rounded to whole twips; anything
// else, a negative width included, is the default.
int widthOf(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return kDefaultWidth;
    QString copy = t;
    copy.replace(u',', u'.');
    const std::optional<DecimalValue> v = ParseLocaleDecimal(copy, u'.', QChar());
    if (!v || v->negative)
        return kDefaultWidth;
    if (!FitsReportDecimal(*v))
        return kMaxWidth;
    FieldNumber n;
    n.value = *v;
    bool ok = false;
    const double whole = FormatNumberPicture(n, QStringLiteral("0")).toDouble(&ok);
    if (!ok)
        return kDefaultWidth;
    return whole > kMaxWidth ? kMaxWidth : int(whole);
}

Qt::Alignment alignmentOf(const QString& align)
{
    if (align.isEmpty() || align == u"L")
        return Qt::AlignLeft;
    if (align == u"R")
        return Qt::AlignRight;
    return Qt::AlignHCenter;
}

bool isAttributeName(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    return xmlValidateName(reinterpret_cast<const xmlChar*>(utf8.constData()), 0) == 0;
}

[[noreturn]] void failLayout(const QString& path, const QString& what)
{
    Fail(QStringLiteral("Ошибка в файле ") + path + QStringLiteral(": ") + what);
}

} // namespace

QString LayoutField::descriptor() const
{
    return QStringLiteral("name=") + name + QStringLiteral(";type=") + type +
           QStringLiteral(";fmt=") + format + QStringLiteral(";def=") + def +
           QStringLiteral(";empty=") + empty + QStringLiteral(";pick=") + pick;
}

QString LayoutPathOf(ReportKind kind)
{
    return ProgramFolder() + u'/' + QLatin1String(TraitsOf(kind).layoutFile);
}

ReportLayout ReadReportLayout(const QString& path, int slotCount)
{
    const XmlDocument doc = XmlDocument::Load(path);
    const QList<_xmlNode*> children = XmlChildElements(doc.root());
    if (children.size() > slotCount)
        failLayout(path, QStringLiteral("полей в нем %1, а окно отчета вмещает не больше %2")
                             .arg(children.size())
                             .arg(slotCount));

    ReportLayout layout;
    layout.path = path;
    QSet<QString> names;
    for (int i = 0; i < int(children.size()); ++i) {
        const _xmlNode* node = children.at(i);
        LayoutField f;
        f.slot = i;
        f.visible = XmlAttribute(node, QStringLiteral("Visible")) != u"0";
        f.name = XmlAttribute(node, QStringLiteral("Name"));
        f.title = XmlAttribute(node, QStringLiteral("Title"));
        f.widthTwips = XmlHasAttribute(node, QStringLiteral("Width"))
                           ? widthOf(XmlAttribute(node, QStringLiteral("Width")))
                           : kDefaultWidth;
        f.alignment = alignmentOf(XmlAttribute(node, QStringLiteral("Align")));
        f.type = XmlAttribute(node, QStringLiteral("Type"));
        f.format = XmlAttribute(node, QStringLiteral("Format"));
        f.def = XmlAttribute(node, QStringLiteral("Default"));
        f.empty = XmlAttribute(node, QStringLiteral("Empty"));
        f.pick = XmlAttribute(node, QStringLiteral("Pick"));
        if (f.visible) {
            const QString label = f.name.isEmpty() ? QString::number(i + 1) : f.name;
            // A semicolon would end the value early in the column descriptor.
            const std::pair<const char*, const QString*> parts[] = {
                {"Name", &f.name},   {"Type", &f.type},   {"Format", &f.format},
                {"Default", &f.def}, {"Empty", &f.empty}, {"Pick", &f.pick}};
            for (const auto& [attribute, value] : parts) {
                if (value->contains(u';'))
                    failLayout(path, QStringLiteral("значение атрибута %1 поля %2 не может "
                                                    "содержать \";\"")
                                         .arg(QLatin1String(attribute), label));
            }
            // The name becomes an attribute of every deal written.
            if (!f.name.isEmpty()) {
                if (!isAttributeName(f.name))
                    failLayout(path, QStringLiteral("имя поля \"%1\" не может быть именем атрибута")
                                         .arg(f.name));
                if (names.contains(f.name))
                    failLayout(path, QStringLiteral("поле %1 описано дважды").arg(f.name));
                names.insert(f.name);
            }
        }
        layout.fields.append(std::move(f));
    }
    return layout;
}

} // namespace varnel
