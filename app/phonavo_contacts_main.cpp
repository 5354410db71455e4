// phonavo-contacts: the contact manager for the contact database Phonavo ships.
//   phonavo-contacts                                        the list of contacts
//   phonavo-contacts /command=new /number="..." /name="..." a new contact, for editing
//   phonavo-contacts /command=open /guid=<key>              one contact
// It ends when its window closes; Phonavo waits for that when it started it.

#include "contacts/manager/ContactsDatabase.h"
#include "contacts/manager/ManagerCommandLine.h"
#include "contacts/manager/ui/ContactManagerWindow.h"
#include "loc/Languages.h"
#include "loc/LocGuru.h"
#include "platform/AppPaths.h"
#include "shell/settings/SettingsStore.h"
#include "shell/ui/GuiDialogs.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.contains(QLatin1String("--version"))) {
        QTextStream(stdout) << "phonavo-contacts " << PHONAVO_VERSION_MAJOR << '.'
                            << PHONAVO_VERSION_MINOR << '.' << PHONAVO_VERSION_PATCH << Qt::endl;
        return 0;
    }
    // Help needs no window, nor a display.
    if (ManagerCommandLine::parse(arguments).action == ManagerCommandLine::Action::Help) {
        QTextStream(stdout) << ManagerCommandLine::usage() << Qt::endl;
        return 0;
    }

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Phonavo Contacts"));
    QTextStream err(stderr);
    const auto log = [&err](const QString& line) {
        err << "phonavo-contacts: " << line << Qt::endl;
    };

    // The program's language: read from its settings, never written here.
    SettingsStore settings(AppPaths::userHivePath(), AppPaths::machineHivePath());
    LocGuru loc;
    GuiDialogs dialogs;
    loc.setsLanguageTableName(Languages::kTableName);
    Languages(loc, settings, dialogs).OpenAtStartUp(log);

    const ManagerCommandLine command = ManagerCommandLine::parse(arguments, &loc);
    for (const QString& warning : command.warnings)
        log(warning);

    ContactsDatabase database(ContactsDatabase::defaultPath(), &loc);
    if (const Result<bool> opened = database.open(); !opened) {
        log(opened.error());
        dialogs.messageBox(opened.error(), MsgStyle::Critical,
                           loc.GetS(QStringLiteral("Phonavo Contacts")));
        return 1;
    }
    ContactManagerWindow window(database, dialogs, loc, log);
    dialogs.setMainWindow(&window);
    window.show();
    window.apply(command);
    return app.exec();
}
