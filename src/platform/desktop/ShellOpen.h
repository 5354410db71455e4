#pragma once

#include <QObject>
#include <QString>

#include <functional>

class DialogService;
class SettingsStore;

// Opening files and web pages with the desktop's default application, through
// xdg-open run asynchronously. Failures are reported by the numbers the old
// shell call used: "Fehler beim Öffnen von \n<file>:\n\n<text>". Those
// long-standing German texts are the native texts of their translations; the
// language data gives their English form.
class ShellOpener : public QObject
{
    Q_OBJECT
public:
    // Shows a failure message (the critical icon is the reporter's business).
    using Reporter = std::function<void(const QString& message)>;

    enum Code
    {
        OutOfMemory = 0,
        FileNotFound = 2,
        PathNotFound = 3,
        AccessDenied = 5,
        NoAssociation = 31,
        GenericFailure = -1 // any other code
    };

    // The built-in addresses are set when the program is configured.
    static const char* const kDefaultHomepage;
    static const char* const kDefaultSupportPage;

    // `program` stands in for xdg-open (tests use a script or /bin/false).
    explicit ShellOpener(Reporter reporter, const QString& program = QStringLiteral("xdg-open"),
                         QObject* parent = nullptr);
    ~ShellOpener() override;
    // A reporter that shows a critical message box.
    static Reporter messageBoxes(DialogService& dialogs);

    // Opens a local file or folder (relative to `folder` when given) or a URL.
    // Returns true once the opener was started, false after reporting a
    // failure found at once; a failure of the opener itself is reported when
    // it ends. The show command and the parameters have no meaning for
    // xdg-open, which opens exactly one file or URL with its default
    // application; verbs other than "open", "explore" and "" have no
    // application.
    bool ShellOpen(const QString& file, int showCommand = 1, const QString& parameters = QString(),
                   const QString& folder = QString(), const QString& verb = QString());

    // The translation of the texts (GetS of the program's engine); without
    // one they stay native.
    using Translate = std::function<QString(const QString& text)>;
    void setTranslation(Translate translate) { m_translate = std::move(translate); }

    // The vendor's pages, machine-wide HomepageURL and SupportURL (defaults above).
    void setSettings(const SettingsStore* settings) { m_settings = settings; }
    QString homepageUrl() const;
    QString supportUrl() const;
    // Opens the help installed with the program: "faq" its FAQ page, any other
    // topic the user guide; the support page when the installation has no help.
    bool DoOpenHelp(const QString& topic);
    // The installed help page of a topic, or empty.
    static QString helpPage(const QString& topic);
    bool mnuWebsite();

    QString errorText(int code) const;
    QString message(const QString& file, int code) const;
    // The code for an xdg-open exit status (0: success).
    static int codeForExitStatus(int exitStatus);

    int running() const { return m_running; }

private:
    QString GetS(const QString& text) const { return m_translate ? m_translate(text) : text; }
    void fail(const QString& file, int code);
    QString machineSetting(const char* name, const char* fallback) const;

    Reporter m_report;
    Translate m_translate;
    QString m_program;
    const SettingsStore* m_settings = nullptr;
    int m_running = 0;
};
