#include "MqttSettingsDialog.h"

#include "MqttSettings.h"
#include "PhonavoPlugin.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

bool MqttSettingsDialog::edit(phonavo::PluginContext& context)
{
    const auto tr = [&](const char* text) { return context.translate(QString::fromUtf8(text)); };
    const MqttSettings current = MqttSettings::read(context);

    QDialog dialog;
    dialog.setWindowTitle(tr("MQTT (home automation)"));
    auto* broker = new QLineEdit(current.broker);
    auto* port = new QSpinBox;
    port->setRange(1, 65535);
    port->setValue(current.port);
    auto* user = new QLineEdit(current.user);
    auto* password = new QLineEdit(current.password);
    password->setEchoMode(QLineEdit::Password);
    auto* prefix = new QLineEdit(current.topicPrefix);
    auto* clientId = new QLineEdit(context.setting(QStringLiteral("ClientId")));
    clientId->setPlaceholderText(MqttSettings::defaultClientId());
    auto* tls = new QCheckBox(tr("Use TLS (certificates from /etc/ssl/certs)"));
    tls->setChecked(current.tls);

    auto* form = new QFormLayout;
    form->addRow(tr("Broker:"), broker);
    form->addRow(tr("Port:"), port);
    form->addRow(tr("User:"), user);
    form->addRow(tr("Password:"), password);
    form->addRow(tr("Topic prefix:"), prefix);
    form->addRow(tr("Client id:"), clientId);
    form->addRow(QString(), tls);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    context.saveSetting(QStringLiteral("Broker"), broker->text().trimmed());
    context.saveSetting(QStringLiteral("Port"), QString::number(port->value()));
    context.saveSetting(QStringLiteral("User"), user->text());
    context.saveSetting(QStringLiteral("Password"), password->text().isEmpty()
                                                        ? QString()
                                                        : context.scramble(password->text()));
    context.saveSetting(QStringLiteral("TopicPrefix"), prefix->text().trimmed());
    context.saveSetting(QStringLiteral("ClientId"), clientId->text().trimmed());
    context.saveSetting(QStringLiteral("TLS"),
                        tls->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    return true;
}
