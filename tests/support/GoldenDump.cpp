#include "tests/support/GoldenDump.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextStream>
#include <QToolBar>
#include <QTreeView>

namespace varnel::testing {
namespace {

QString quoted(const QString& text)
{
    QString out = text;
    out.replace(u'\\', QStringLiteral("\\\\"));
    out.replace(u'\n', QStringLiteral("\\n"));
    out.replace(u'\r', QStringLiteral("\\r"));
    out.replace(u'\t', QStringLiteral("\\t"));
    return u'"' + out + u'"';
}

QString state(const QWidget& w)
{
    QString s;
    s += w.isVisibleTo(w.window()) || w.isWindow() ? QStringLiteral("shown")
                                                   : QStringLiteral("hidden");
    if (!w.isEnabled())
        s += QStringLiteral(" disabled");
    return s;
}

// The tool tip Qt makes of an action's text when none is set: no "&", no trailing "...".
QString automaticToolTip(QString text)
{
    text.remove(u'&');
    text = text.trimmed();
    while (text.endsWith(u'.') || text.endsWith(u'…'))
        text.chop(1);
    return text.trimmed();
}

void dumpAction(QTextStream& out, const QAction& a, int depth)
{
    const QString indent(depth * 2, u' ');
    if (a.isSeparator()) {
        out << indent << "separator " << a.objectName() << (a.isVisible() ? "" : " hidden") << "\n";
        return;
    }
    out << indent << "action " << a.objectName() << ' ' << quoted(a.text());
    if (!a.shortcut().isEmpty())
        out << " key=" << a.shortcut().toString(QKeySequence::PortableText);
    if (!a.toolTip().isEmpty() && a.toolTip() != QString(a.text()).remove(u'&') &&
        a.toolTip() != automaticToolTip(a.text()))
        out << " tip=" << quoted(a.toolTip());
    if (!a.isVisible())
        out << " hidden";
    if (!a.isEnabled())
        out << " disabled";
    if (a.isCheckable())
        out << (a.isChecked() ? " checked" : " unchecked");
    out << "\n";
    if (a.menu()) {
        for (const QAction* sub : a.menu()->actions())
            dumpAction(out, *sub, depth + 1);
    }
}

void dumpWidget(QTextStream& out, const QWidget& w, int depth)
{
    const QString indent(depth * 2, u' ');
    out << indent << w.metaObject()->className();
    if (!w.objectName().isEmpty())
        out << ' ' << w.objectName();
    out << " [" << state(w) << ']';
    if (w.isWindow() && !w.windowTitle().isEmpty())
        out << " title=" << quoted(w.windowTitle());
    if (const auto* label = qobject_cast<const QLabel*>(&w)) {
        out << " text=" << quoted(label->text());
        if (label->buddy())
            out << " buddy=" << label->buddy()->objectName();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&w)) {
        out << " text=" << quoted(button->text());
        if (button->isCheckable())
            out << (button->isChecked() ? " checked" : " unchecked");
    } else if (const auto* group = qobject_cast<const QGroupBox*>(&w))
        out << " title=" << quoted(group->title());
    else if (const auto* edit = qobject_cast<const QLineEdit*>(&w)) {
        out << " text=" << quoted(edit->text());
        if (edit->isReadOnly())
            out << " readonly";
    } else if (const auto* combo = qobject_cast<const QComboBox*>(&w)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        out << " items=" << quoted(items.join(u'|')) << " current=" << quoted(combo->currentText())
            << (combo->isEditable() ? " editable" : "");
    } else if (const auto* tabs = qobject_cast<const QTabWidget*>(&w)) {
        for (int i = 0; i < tabs->count(); ++i) {
            out << " tab" << i << '=' << quoted(tabs->tabText(i));
            if (!tabs->tabToolTip(i).isEmpty())
                out << " tip" << i << '=' << quoted(tabs->tabToolTip(i));
        }
    } else if (const auto* view = qobject_cast<const QAbstractItemView*>(&w)) {
        if (const QAbstractItemModel* model = view->model()) {
            QStringList headers;
            for (int c = 0; c < model->columnCount(); ++c)
                headers << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            out << " columns=" << quoted(headers.join(u'|'));
        }
    }
    if (!w.toolTip().isEmpty())
        out << " tip=" << quoted(w.toolTip());
    out << "\n";

    if (const auto* bar = qobject_cast<const QMenuBar*>(&w)) {
        for (const QAction* a : bar->actions())
            dumpAction(out, *a, depth + 1);
    } else if (const auto* tools = qobject_cast<const QToolBar*>(&w)) {
        for (const QAction* a : tools->actions())
            dumpAction(out, *a, depth + 1);
    }
    // The insides of composite Qt widgets (a view's viewport and scroll bars, a combo box's
    // line edit, a spin box's buttons) say nothing a user reads.
    if (qobject_cast<const QAbstractItemView*>(&w) || qobject_cast<const QComboBox*>(&w) ||
        qobject_cast<const QPlainTextEdit*>(&w) || qobject_cast<const QMenu*>(&w) ||
        qobject_cast<const QToolBar*>(&w) || qobject_cast<const QMenuBar*>(&w))
        return;
    // A tab widget's pages, in tab order (its stack and bar are Qt's own).
    if (const auto* tabs = qobject_cast<const QTabWidget*>(&w)) {
        for (int i = 0; i < tabs->count(); ++i)
            dumpWidget(out, *tabs->widget(i), depth + 1);
        return;
    }
    for (const QObject* child : w.children()) {
        const auto* cw = qobject_cast<const QWidget*>(child);
        if (!cw || cw->objectName().startsWith(QStringLiteral("qt_")))
            continue;
        if (cw->isWindow() && !qobject_cast<const QMenu*>(cw))
            continue;
        if (qobject_cast<const QMenu*>(cw))
            continue;
        dumpWidget(out, *cw, depth + 1);
    }
}

} // namespace

QString DumpWidgetTexts(const QWidget& window)
{
    QString text;
    QTextStream out(&text);
    dumpWidget(out, window, 0);
    out.flush();
    return text;
}

bool MatchesGolden(const QString& dump, const QString& goldenFile, QString* message)
{
    if (qEnvironmentVariableIntValue("VARNEL_UPDATE_GOLDEN") == 1) {
        QDir().mkpath(QFileInfo(goldenFile).absolutePath());
        QFile f(goldenFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *message = QStringLiteral("cannot write ") + goldenFile;
            return false;
        }
        f.write(dump.toUtf8());
        return true;
    }
    QFile f(goldenFile);
    if (!f.open(QIODevice::ReadOnly)) {
        *message = QStringLiteral("no golden file %1; run with VARNEL_UPDATE_GOLDEN=1 to make it")
                       .arg(goldenFile);
        return false;
    }
    const QStringList expected = QString::fromUtf8(f.readAll()).split(u'\n');
    const QStringList actual = dump.split(u'\n');
    for (qsizetype i = 0; i < qMax(expected.size(), actual.size()); ++i) {
        const QString e = expected.value(i);
        const QString a = actual.value(i);
        if (e != a || i >= expected.size() || i >= actual.size()) {
            *message = QStringLiteral("%1 differs at line %2:\n  expected: %3\n  actual:   %4")
                           .arg(goldenFile)
                           .arg(i + 1)
                           .arg(i < expected.size() ? e : QStringLiteral("<end>"),
                                i < actual.size() ? a : QStringLiteral("<end>"));
            return false;
        }
    }
    return true;
}

} // namespace varnel::testing
