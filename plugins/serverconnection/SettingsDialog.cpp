#include "SettingsDialog.h"

#include "PhonavoPlugin.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

SettingsDialog::SettingsDialog(const phonavo::PluginContext& context,
                               const ConnectionSettings& settings)
    : m_settings(settings), m_server(new QLineEdit(settings.server, this)),
      m_port(new QSpinBox(this)), m_password(new QLineEdit(settings.password, this)),
      m_numbers(new QLineEdit(settings.listenNumbers.join(QStringLiteral(", ")), this))
{
    const auto say = [&context](const char* text) {
        return context.translate(QString::fromLatin1(text));
    };
    setWindowTitle(say("Phonavo Server"));
    m_port->setRange(1, 65535);
    m_port->setValue(settings.port == 0 ? ConnectionSettings::kDefaultPort : settings.port);
    m_password->setEchoMode(QLineEdit::Password);
    m_numbers->setPlaceholderText(say("All numbers"));
    auto* form = new QFormLayout(this);
    form->addRow(say("Server"), m_server);
    form->addRow(say("Port"), m_port);
    form->addRow(say("Password"), m_password);
    form->addRow(say("Own numbers (separated by commas)"), m_numbers);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

ConnectionSettings SettingsDialog::settings() const
{
    ConnectionSettings s = m_settings;
    s.server = m_server->text().trimmed();
    s.port = quint16(m_port->value());
    s.password = m_password->text();
    s.listenNumbers = ConnectionSettings::parseNumbers(m_numbers->text());
    return s;
}
