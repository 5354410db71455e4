#include "FrmSimulateCall.h"

#include "core/controller/MainForm.h"
#include "loc/ui/FormTranslator.h"
#include "shell/dialling/CallSimulator.h"
#include "shell/dialling/SimulationSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FrmSimulateCall* FrmSimulateCall::ShowForm(MainForm& form, CallSimulator& simulator,
                                           QWidget* parent)
{
    auto* dialog = new FrmSimulateCall(form, simulator, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

FrmSimulateCall::FrmSimulateCall(MainForm& form, CallSimulator& simulator, QWidget* parent)
    : QDialog(parent), m_form(form), m_simulator(simulator)
{
    setObjectName(QStringLiteral("frmSimulateCall"));
    setWindowTitle(QStringLiteral("Simulate call"));
    auto* layout = new QVBoxLayout(this);
    m_cbIncoming = new QCheckBox(QStringLiteral("&Incoming call"), this);
    m_cbIncoming->setObjectName(QStringLiteral("cbIncoming"));
    layout->addWidget(m_cbIncoming);
    auto* fields = new QFormLayout;
    const auto row = [&](const char* labelName, const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setBuddy(field);
        fields->addRow(label, field);
    };
    m_txtCallerID = new QLineEdit(this);
    m_txtCallerID->setObjectName(QStringLiteral("txtCallerID"));
    m_txtCalledID = new QLineEdit(this);
    m_txtCalledID->setObjectName(QStringLiteral("txtCalledID"));
    m_cmbDevice = new QComboBox(this);
    m_cmbDevice->setObjectName(QStringLiteral("cmbDevice"));
    row("lblCallerID", QStringLiteral("C&aller number:"), m_txtCallerID);
    row("lblCalledID", QStringLiteral("Ca&lled number:"), m_txtCalledID);
    row("lblDevice", QStringLiteral("&Device:"), m_cmbDevice);
    layout->addLayout(fields);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* btnSimulate =
        buttons->addButton(QStringLiteral("&Simulate"), QDialogButtonBox::AcceptRole);
    btnSimulate->setObjectName(QStringLiteral("btnSimulate"));
    btnSimulate->setDefault(true);
    QPushButton* btnCancel =
        buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);

    FormTranslator::TranslateForm(this, form.loc());
    const SimulationSettings saved = SimulationSettings::load(form.settings());
    m_cbIncoming->setChecked(saved.incoming);
    m_txtCallerID->setText(saved.callerId);
    m_txtCalledID->setText(saved.calledId);
    for (const auto& [name, id] : simulator.devices())
        m_cmbDevice->addItem(name, id);
    m_cmbDevice->setCurrentIndex(std::max(0, m_cmbDevice->findText(saved.device)));
    btnSimulate->setEnabled(m_cmbDevice->count() > 0);

    // The two numbers trade places with the direction: the own number stays on
    // the side it belongs to.
    connect(m_cbIncoming, &QCheckBox::clicked, this, [this] {
        const QString caller = m_txtCallerID->text();
        m_txtCallerID->setText(m_txtCalledID->text());
        m_txtCalledID->setText(caller);
    });
    connect(btnSimulate, &QPushButton::clicked, this, &FrmSimulateCall::btnSimulate_Click);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmSimulateCall::btnSimulate_Click()
{
    CallSimulator::Request request;
    request.incoming = m_cbIncoming->isChecked();
    request.callerId = m_txtCallerID->text().trimmed();
    request.calledId = m_txtCalledID->text().trimmed();
    request.deviceId = m_cmbDevice->currentData().toInt();
    // Closed first: the popup of the simulated call comes up above the main window.
    accept();
    m_simulator.simulate(request);
}

void FrmSimulateCall::done(int result)
{
    SimulationSettings s;
    s.incoming = m_cbIncoming->isChecked();
    s.callerId = m_txtCallerID->text();
    s.calledId = m_txtCalledID->text();
    s.device = m_cmbDevice->currentText();
    s.save(m_form.settings());
    QDialog::done(result);
}
