#include "DialogEditors.h"

#include "core/devices/ui/FrmDevice.h"
#include "server/msn/ui/FrmMSN.h"

DialogEditors::DialogEditors(SettingsStore& settings, LocGuru& loc, SoundPlayer& sound,
                             QWidget* parent)
    : m_settings(settings), m_loc(loc), m_sound(sound), m_parent(parent)
{}

bool DialogEditors::EditDevice(CDevice& device)
{
    FrmDevice dialog(m_settings, m_loc, m_sound, m_parent);
    return dialog.EditDevice(device);
}

bool DialogEditors::EditMSN(CMSN& entry, bool showClients)
{
    FrmMSN dialog(m_loc, m_parent);
    return dialog.EditMSN(entry, showClients);
}
