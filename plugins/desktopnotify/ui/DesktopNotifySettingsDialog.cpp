#include "DesktopNotifySettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

DesktopNotifySettingsDialog::DesktopNotifySettingsDialog(phonavo::PluginContext& context)
    : m_context(context)
{
    setWindowTitle(context.translate(QStringLiteral("Desktop notifications")));

    m_timeout = new QSpinBox(this);
    m_timeout->setRange(-1, 3600);
    m_timeout->setSuffix(context.translate(QStringLiteral(" seconds")));
    // The minimum, -1, reads as what it means.
    m_timeout->setSpecialValueText(context.translate(QStringLiteral("Until the call ends")));
    bool ok = false;
    const int seconds = context.setting(QStringLiteral("Timeout")).trimmed().toInt(&ok);
    m_timeout->setValue(ok ? seconds : 0);

    m_closeOnAnswer =
        new QCheckBox(context.translate(QStringLiteral("Close the notification when the call "
                                                       "is answered")),
                      this);
    const QString close = context.setting(QStringLiteral("CloseOnAnswer"), QStringLiteral("0"));
    m_closeOnAnswer->setChecked(close != u"0" && close != u"False" && close != u"Falsch" &&
                                !close.isEmpty());

    auto* form = new QFormLayout;
    form->addRow(context.translate(QStringLiteral("Show notifications for:")), m_timeout);
    form->addRow(new QLabel(
        context.translate(QStringLiteral("0 seconds: as long as the desktop shows notifications")),
        this));
    form->addRow(m_closeOnAnswer);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void DesktopNotifySettingsDialog::accept()
{
    m_context.saveSetting(QStringLiteral("Timeout"), QString::number(m_timeout->value()));
    m_context.saveSetting(QStringLiteral("CloseOnAnswer"),
                          m_closeOnAnswer->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    QDialog::accept();
}
