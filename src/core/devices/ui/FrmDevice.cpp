#include "FrmDevice.h"

#include "core/devices/CDevice.h"
#include "loc/LocGuru.h"
#include "platform/SoundPlayer.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FrmDevice::FrmDevice(SettingsStore& settings, LocGuru& loc, SoundPlayer& sound, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_loc(loc), m_sound(sound)
{
    setObjectName(QStringLiteral("frmDevice"));
    setWindowTitle(m_loc.GetS(QStringLiteral("Device settings")));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_txtDeviceName = addText(form, "txtDeviceName", m_loc.GetS(QStringLiteral("Device")));
    m_txtDeviceName->setReadOnly(true);
    const auto check = [&](const char* name, const QString& text) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(QString::fromLatin1(name));
        form->addRow(box);
        return box;
    };
    m_cbMonitor = check("cbMonitor", m_loc.GetS(QStringLiteral("Monitor this device")));
    m_cbOwner = check("cbOwner", m_loc.GetS(QStringLiteral("Open the line as owner (needed to reject calls)")));
    m_cbGetCallerIDInOnCallerID = check("cbGetCallerIDInOnCallerID",
                                        m_loc.GetS(QStringLiteral("Wait for the caller ID notification")));
    m_cbAsDataModem = check("cbAsDataModem", m_loc.GetS(QStringLiteral("Open as data modem")));
    m_txtCutIncoming = addText(form, "txtCutIncoming", m_loc.GetS(QStringLiteral("Cut from caller numbers")));
    m_txtPrependIncoming = addText(form, "txtPrependIncoming", m_loc.GetS(QStringLiteral("Put in front of caller numbers")));
    m_txtCutCalled = addText(form, "txtCutCalled", m_loc.GetS(QStringLiteral("Cut from called numbers")));
    m_txtPrependCalled = addText(form, "txtPrependCalled", m_loc.GetS(QStringLiteral("Put in front of called numbers")));
    m_txtCutOutgoing = addText(form, "txtCutOutgoing", m_loc.GetS(QStringLiteral("Cut from dialled numbers")));
    m_txtPrependOutgoing = addText(form, "txtPrependOutgoing", m_loc.GetS(QStringLiteral("Put in front of dialled numbers")));
    m_cbIgnoreCall = check("cbIgnoreCall", m_loc.GetS(QStringLiteral("Ignore calls with short caller numbers")));
    m_lblCallerIDMinLen = new QLabel(m_loc.GetS(QStringLiteral("Minimum length")), this);
    m_lblCallerIDMinLen->setObjectName(QStringLiteral("lblCallerIDMinLen"));
    m_txtCallerIDMinLen = new QLineEdit(this);
    m_txtCallerIDMinLen->setObjectName(QStringLiteral("txtCallerIDMinLen"));
    m_txtCallerIDMinLen->setValidator(new QIntValidator(0, 999, m_txtCallerIDMinLen));
    form->addRow(m_lblCallerIDMinLen, m_txtCallerIDMinLen);

    auto* soundRow = new QHBoxLayout;
    m_txtSoundFile = new QLineEdit(this);
    m_txtSoundFile->setObjectName(QStringLiteral("txtSoundFile"));
    auto* choose = new QPushButton(QStringLiteral("..."), this);
    choose->setObjectName(QStringLiteral("btnChooseSound"));
    auto* play = new QPushButton(m_loc.GetS(QStringLiteral("Play")), this);
    play->setObjectName(QStringLiteral("btnPlaySound"));
    soundRow->addWidget(m_txtSoundFile);
    soundRow->addWidget(choose);
    soundRow->addWidget(play);
    form->addRow(m_loc.GetS(QStringLiteral("Ring sound")), soundRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_cbIgnoreCall, &QCheckBox::toggled, this, &FrmDevice::updateEnabledState);
    connect(choose, &QPushButton::clicked, this, &FrmDevice::chooseSound);
    connect(play, &QPushButton::clicked, this, &FrmDevice::playSound);
    setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));
}

QLineEdit* FrmDevice::addText(QFormLayout* form, const char* name, const QString& label)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    form->addRow(label, edit);
    return edit;
}

void FrmDevice::load(const CDevice& d)
{
    m_txtDeviceName->setText(d.DeviceName);
    m_cbMonitor->setChecked(d.bMonitor);
    m_cbOwner->setChecked(d.bOwner);
    m_cbGetCallerIDInOnCallerID->setChecked(d.GetCallerIDInOnCallerID);
    m_cbAsDataModem->setChecked(d.bIsDataModem);
    m_cbIgnoreCall->setChecked(d.bCheckMinLength);
    m_txtCutCalled->setText(d.CutCalled);
    m_txtPrependCalled->setText(d.PrependCalled);
    m_txtCutIncoming->setText(d.CutIncoming);
    m_txtPrependIncoming->setText(d.PrependIncoming);
    m_txtSoundFile->setText(d.SoundFile);
    m_txtCallerIDMinLen->setText(QString::number(d.iCallerIDMinLength));
    m_txtPrependOutgoing->setText(d.PrependOutgoing);
    m_txtCutOutgoing->setText(d.CutOutgoing);
    updateEnabledState();
}

void FrmDevice::apply(CDevice& d) const
{
    d.bMonitor = m_cbMonitor->isChecked();
    d.bOwner = m_cbOwner->isChecked();
    d.GetCallerIDInOnCallerID = m_cbGetCallerIDInOnCallerID->isChecked();
    d.bIsDataModem = m_cbAsDataModem->isChecked();
    d.bCheckMinLength = m_cbIgnoreCall->isChecked();
    d.CutCalled = m_txtCutCalled->text();
    d.PrependCalled = m_txtPrependCalled->text();
    d.CutIncoming = m_txtCutIncoming->text();
    d.PrependIncoming = m_txtPrependIncoming->text();
    d.SoundFile = m_txtSoundFile->text();
    d.iCallerIDMinLength = qint16(qBound(0, m_txtCallerIDMinLen->text().toInt(), 999));
    d.PrependOutgoing = m_txtPrependOutgoing->text();
    d.CutOutgoing = m_txtCutOutgoing->text();
}

void FrmDevice::updateEnabledState()
{
    const bool on = m_cbIgnoreCall->isChecked();
    m_txtCallerIDMinLen->setEnabled(on);
    m_lblCallerIDMinLen->setEnabled(on);
}

bool FrmDevice::EditDevice(CDevice& device)
{
    load(device);
    if (exec() != QDialog::Accepted)
        return false;
    apply(device);
    device.Save(m_settings);
    return true;
}

void FrmDevice::chooseSound()
{
    const QString file = QFileDialog::getOpenFileName(this, m_loc.GetS(QStringLiteral("Ring sound")),
                                                      QFileInfo(m_txtSoundFile->text()).absolutePath(),
                                                      m_loc.GetS(QStringLiteral("Sounds (*.wav)")));
    if (!file.isEmpty())
        m_txtSoundFile->setText(file);
}

void FrmDevice::playSound()
{
    if (QFileInfo::exists(m_txtSoundFile->text()))
        m_sound.play(m_txtSoundFile->text(), QStringLiteral("sound"));
}
