#include "FormTranslator.h"

#include "loc/LanguageDatabase.h"
#include "loc/Languages.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "shell/dialogs/DialogService.h"
#include "shell/settings/SettingsStore.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSet>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QToolBox>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <optional>

namespace FormTranslator {

namespace {

// What happens to each text found: a translation gives the new text, the
// export gives none (the widget keeps its text).
using Visit = std::function<std::optional<QString>(const QString&)>;

struct Properties
{
    bool caption = false;
    bool text = false;
    bool toolTip = false;
    bool font = false;
};

Properties parseProperties(const QString& list)
{
    Properties p;
    for (const QString& name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString upper = name.trimmed().toUpper();
        p.caption |= upper == QStringLiteral("CAPTION");
        p.text |= upper == QStringLiteral("TEXT");
        p.toolTip |= upper == QStringLiteral("TOOLTIPTEXT");
        p.font |= upper == QStringLiteral("FONT") || upper == QStringLiteral("FONT.NAME");
    }
    return p;
}

template <typename Set> void apply(const QString& value, const Visit& visit, Set set)
{
    if (value.isEmpty())
        return;
    const std::optional<QString> result = visit(value);
    if (result && *result != value)
        set(*result);
}

// The tool tip Qt makes up for an action from its text (no '&', no "...").
QString derivedToolTip(QString text)
{
    text.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&'))
            text.remove(i, 1);
    }
    return text.trimmed();
}

class Walker
{
public:
    Walker(const LocGuru& loc, Visit visit)
        : m_tagExclude(loc.sTagExclude()), m_props(parseProperties(loc.sProperties())),
          m_visit(std::move(visit))
    {}

    void run(QWidget* window)
    {
        widget(window);
        for (QAction* action : std::as_const(m_actions))
            translateAction(action);
    }

private:
    bool tagExcluded(const QObject* object) const
    {
        return !m_tagExclude.isEmpty() &&
               object->property("Tag").toString().startsWith(m_tagExclude);
    }

    void collect(QAction* action)
    {
        if (!action || m_seen.contains(action))
            return;
        m_seen.insert(action);
        m_actions.append(action);
        if (QMenu* menu = action->menu()) {
            for (QAction* sub : menu->actions())
                collect(sub);
        }
    }

    void toolTipOf(QWidget* w)
    {
        apply(w->toolTip(), m_visit, [w](const QString& t) { w->setToolTip(t); });
    }

    void widget(QWidget* w)
    {
        // Their insides belong to Qt or to an action.
        const bool composite = qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                               qobject_cast<QFileDialog*>(w);
        if (!composite) {
            for (QAction* action : w->actions())
                collect(action);
        }
        // Menus are translated through their actions; the buttons of a tool
        // box through its item texts.
        const bool skip = qobject_cast<QMenu*>(w) || (qobject_cast<QAbstractButton*>(w) &&
                                                      qobject_cast<QToolBox*>(w->parentWidget()));
        if (!skip) {
            if (tagExcluded(w))
                toolTipOf(w);
            else
                translateWidget(w);
        }
        if (composite)
            return;
        for (QObject* child : w->children()) {
            if (auto* childWidget = qobject_cast<QWidget*>(child))
                widget(childWidget);
            else if (auto* action = qobject_cast<QAction*>(child))
                collect(action);
        }
    }

    void translateWidget(QWidget* w)
    {
        lists(w);
        if (m_props.caption)
            caption(w);
        if (m_props.text) {
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                apply(edit->text(), m_visit, [edit](const QString& t) { edit->setText(t); });
        }
        const auto* toolButton = qobject_cast<QToolButton*>(w);
        if (m_props.toolTip && !(toolButton && toolButton->defaultAction()))
            toolTipOf(w);
        if (m_props.font) {
            apply(w->font().family(), m_visit, [w](const QString& t) {
                QFont font = w->font();
                font.setFamily(t);
                w->setFont(font);
            });
        }
    }

    void caption(QWidget* w)
    {
        if (w->isWindow() || qobject_cast<QDockWidget*>(w))
            apply(w->windowTitle(), m_visit, [w](const QString& t) { w->setWindowTitle(t); });
        if (auto* label = qobject_cast<QLabel*>(w)) {
            apply(label->text(), m_visit, [label](const QString& t) { label->setText(t); });
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const auto* toolButton = qobject_cast<QToolButton*>(w);
            if (!(toolButton && toolButton->defaultAction()))
                apply(button->text(), m_visit, [button](const QString& t) { button->setText(t); });
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            apply(group->title(), m_visit, [group](const QString& t) { group->setTitle(t); });
        }
    }

    void lists(QWidget* w)
    {
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                apply(combo->itemText(i), m_visit,
                      [combo, i](const QString& t) { combo->setItemText(i, t); });
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            for (int i = 0; i < list->count(); ++i) {
                QListWidgetItem* item = list->item(i);
                apply(item->text(), m_visit, [item](const QString& t) { item->setText(t); });
            }
        } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (QTableWidgetItem* item = table->horizontalHeaderItem(c))
                    apply(item->text(), m_visit, [item](const QString& t) { item->setText(t); });
            }
        } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            QTreeWidgetItem* header = tree->headerItem();
            for (int c = 0; header && c < header->columnCount(); ++c)
                apply(header->text(c), m_visit,
                      [header, c](const QString& t) { header->setText(c, t); });
        } else if (qobject_cast<QTableView*>(w) || qobject_cast<QTreeView*>(w)) {
            headers(static_cast<QAbstractItemView*>(w)->model());
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                apply(tabs->tabText(i), m_visit,
                      [tabs, i](const QString& t) { tabs->setTabText(i, t); });
                apply(tabs->tabToolTip(i), m_visit,
                      [tabs, i](const QString& t) { tabs->setTabToolTip(i, t); });
            }
        } else if (auto* box = qobject_cast<QToolBox*>(w)) {
            for (int i = 0; i < box->count(); ++i) {
                apply(box->itemText(i), m_visit,
                      [box, i](const QString& t) { box->setItemText(i, t); });
                apply(box->itemToolTip(i), m_visit,
                      [box, i](const QString& t) { box->setItemToolTip(i, t); });
            }
        } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            QStringList filters = dialog->nameFilters();
            const QString selected = dialog->selectedNameFilter();
            const qsizetype selectedIndex = filters.indexOf(selected);
            bool changed = false;
            for (QString& filter : filters)
                apply(filter, m_visit, [&](const QString& t) {
                    filter = t;
                    changed = true;
                });
            if (changed) {
                dialog->setNameFilters(filters);
                if (selectedIndex >= 0)
                    dialog->selectNameFilter(filters.at(selectedIndex));
            }
        }
    }

    void headers(QAbstractItemModel* model)
    {
        if (!model)
            return;
        for (int c = 0; c < model->columnCount(); ++c) {
            // A model that keeps its captions to itself refuses the new one.
            apply(model->headerData(c, Qt::Horizontal).toString(), m_visit,
                  [model, c](const QString& t) { model->setHeaderData(c, Qt::Horizontal, t); });
        }
    }

    void translateAction(QAction* action)
    {
        if (action->isSeparator())
            return;
        const QString toolTip = action->toolTip();
        const bool ownToolTip = toolTip != derivedToolTip(action->text());
        if (!tagExcluded(action) && m_props.caption)
            apply(action->text(), m_visit, [action](const QString& t) { action->setText(t); });
        if (ownToolTip && (m_props.toolTip || tagExcluded(action)))
            apply(toolTip, m_visit, [action](const QString& t) { action->setToolTip(t); });
    }

    QString m_tagExclude;
    Properties m_props;
    Visit m_visit;
    QSet<QAction*> m_seen;
    QList<QAction*> m_actions;
};

} // namespace

void TranslateForm(QWidget* window, LocGuru& loc)
{
    if (!window || !(loc.bTestStrWidth() || loc.bDbIsOpen()))
        return;
    Walker(loc, [&loc](const QString& text) {
        return std::optional<QString>(loc.GetS(text));
    }).run(window);
}

void ExportFormStrings(QWidget* window, LocGuru& loc)
{
    if (!window)
        return;
    Walker(loc, [&loc](const QString& text) {
        loc.ExportOneString(text);
        return std::optional<QString>();
    }).run(window);
}

bool ExportTexts(const QList<QWidget*>& windows, const QString& file, LocGuru& loc,
                 DialogService& dialogs)
{
    const bool wasOpen = loc.bDbIsOpen();
    const QString previous = loc.sLanguageDB();
    const QString nativeColumn = loc.sNativeColumnName();
    const QString foreignColumn = loc.sForeignColumnName();

    QString error;
    if (!QFileInfo::exists(file) &&
        !LanguageDatabase::create(file, loc.sLanguageTableName(), &error)) {
        loc.setsErrDescription(error);
        return false;
    }
    // Native texts go into the native column, whatever language is in use.
    loc.setsNativeColumnName(QStringLiteral("Native"));
    loc.setsForeignColumnName(QStringLiteral("Native"));
    bool ok = loc.OpenLanguageDatabase(file, false, LocGuru::kSqlDatabase);
    if (ok) {
        loc.setUserNotifier([&dialogs](const QString& message) {
            dialogs.messageBox(message, MsgStyle::OK + MsgStyle::Exclamation, QString());
        });
        ok = loc.ExportStrings();
        for (QWidget* window : windows) {
            if (ok)
                ExportFormStrings(window, loc);
        }
        loc.setUserNotifier({});
        loc.CloseLanguageDatabase();
    }
    const QString exportError = loc.sErrDescription();
    loc.setsNativeColumnName(nativeColumn);
    loc.setsForeignColumnName(foreignColumn);
    if (wasOpen && !loc.bDbIsOpen() &&
        !loc.OpenLanguageDatabase(previous, true, LocGuru::databaseTypeOf(previous)))
        return false;
    if (!ok)
        loc.setsErrDescription(exportError);
    return ok;
}

bool ExportTextsCommand(QWidget* parent, const QList<QWidget*>& windows, LocGuru& loc,
                        SettingsStore& settings, DialogService& dialogs,
                        const std::function<QString()>& chooseFile)
{
    if (Languages::languageColumn(settings) != QStringLiteral("Native")) {
        dialogs.messageBox(loc.GetS(QStringLiteral("Please switch to native language first")),
                           MsgStyle::OK, QString());
        return false;
    }
    QString file;
    if (chooseFile) {
        file = chooseFile();
    } else {
        QFileDialog dialog(parent, loc.GetS(QStringLiteral("Export texts")), AppPaths::installDir(),
                           loc.GetS(QStringLiteral("Language database (*.db)")));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("db"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            file = dialog.selectedFiles().constFirst();
    }
    if (file.isEmpty())
        return false;
    if (dialogs.messageBox(loc.GetS(QStringLiteral("Export to %s?"), file),
                           MsgStyle::YesNo + MsgStyle::Question, QString()) != MsgResult::Yes)
        return false;
    if (!ExportTexts(windows, file, loc, dialogs)) {
        dialogs.messageBox(loc.sErrDescription(), MsgStyle::OK + MsgStyle::Exclamation, QString());
        return false;
    }
    return true;
}

} // namespace FormTranslator
