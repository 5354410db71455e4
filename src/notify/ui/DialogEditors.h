#pragma once

#include "core/controller/Editors.h"

class LocGuru;
class QWidget;
class SettingsStore;
class SoundPlayer;

// The device and own-number editors of the main window. Every edit opens a
// fresh dialog, so it shows the texts of the language in use when it opens,
// also after the language was changed.
class DialogEditors : public DeviceEditor, public MsnEditor
{
public:
    DialogEditors(SettingsStore& settings, LocGuru& loc, SoundPlayer& sound, QWidget* parent);

    bool EditDevice(CDevice& device) override;
    bool EditMSN(CMSN& entry, bool showClients) override;

private:
    SettingsStore& m_settings;
    LocGuru& m_loc;
    SoundPlayer& m_sound;
    QWidget* m_parent;
};
