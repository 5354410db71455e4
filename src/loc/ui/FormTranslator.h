#pragma once

#include <QList>
#include <QString>

#include <functional>

class DialogService;
class LocGuru;
class QWidget;
class SettingsStore;

// Translation of whole windows and the export of their native texts. A window
// is walked with all its child widgets and actions:
//   - the window title, QLabel / QAbstractButton text, QGroupBox title and
//     QDockWidget title stand for Caption, the tool tip for ToolTipText; with
//     "Text" in sProperties the text of a QLineEdit, with "Font" or
//     "Font.Name" the font family;
//   - combo box and list widget items, the column headers of table and tree
//     views, tab and tool box captions with their tool tips, the text and
//     explicit tool tip of every action (menus, sub-menus, tool bars), the
//     title and name filters of a file dialog;
//   - a widget or action whose dynamic property "Tag" starts with sTagExclude
//     gets only its tool tip translated.
// The insides of composite widgets (combo box, spin box, file dialog) and tool
// buttons that stand for an action are left to their owner.
namespace FormTranslator {

// Only in width-test mode or while a language database is open.
void TranslateForm(QWidget* window, LocGuru& loc);

// Hands every text TranslateForm would translate to ExportOneString.
void ExportFormStrings(QWidget* window, LocGuru& loc);

// Exports the native texts of `windows` into the SQLite database `file`
// (created when missing): remembers the open language database, opens `file`
// for writing, clears every bIsUsed mark, marks (or adds) the texts of each
// window, closes it and reopens the database that was open before. Phrases
// too long for the column are reported through `dialogs`. False with
// sErrDescription set when the database could not be used.
bool ExportTexts(const QList<QWidget*>& windows, const QString& file, LocGuru& loc,
                 DialogService& dialogs);

// The developer menu command mnuExportTexts: refuses unless LanguageColumn is
// "Native", asks for the database (`chooseFile`, a file dialog when empty; an
// empty answer cancels), confirms "Export to <file>?" and runs ExportTexts.
// True when the export ran through.
bool ExportTextsCommand(QWidget* parent, const QList<QWidget*>& windows, LocGuru& loc,
                        SettingsStore& settings, DialogService& dialogs,
                        const std::function<QString()>& chooseFile = {});

} // namespace FormTranslator
