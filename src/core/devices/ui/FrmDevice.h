#pragma once

#include "core/controller/Editors.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class LocGuru;
class SettingsStore;
class SoundPlayer;

// The device dialog: monitoring, privileges, number rules and ring sound of
// one line device. OK copies the controls into the device and saves it;
// Cancel leaves the device as it was.
class FrmDevice : public QDialog, public DeviceEditor
{
    Q_OBJECT
public:
    FrmDevice(SettingsStore& settings, LocGuru& loc, SoundPlayer& sound, QWidget* parent = nullptr);

    bool EditDevice(CDevice& device) override;

    void load(const CDevice& device);
    void apply(CDevice& device) const;
    void updateEnabledState();

private:
    void chooseSound();
    void playSound();
    QLineEdit* addText(class QFormLayout* form, const char* name, const QString& label);

    SettingsStore& m_settings;
    LocGuru& m_loc;
    SoundPlayer& m_sound;
    QLineEdit* m_txtDeviceName = nullptr;
    QCheckBox* m_cbMonitor = nullptr;
    QCheckBox* m_cbOwner = nullptr;
    QCheckBox* m_cbGetCallerIDInOnCallerID = nullptr;
    QCheckBox* m_cbAsDataModem = nullptr;
    QCheckBox* m_cbIgnoreCall = nullptr;
    QLineEdit* m_txtCutCalled = nullptr;
    QLineEdit* m_txtPrependCalled = nullptr;
    QLineEdit* m_txtCutIncoming = nullptr;
    QLineEdit* m_txtPrependIncoming = nullptr;
    QLineEdit* m_txtSoundFile = nullptr;
    QLineEdit* m_txtCallerIDMinLen = nullptr;
    QLabel* m_lblCallerIDMinLen = nullptr;
    QLineEdit* m_txtPrependOutgoing = nullptr;
    QLineEdit* m_txtCutOutgoing = nullptr;
};
