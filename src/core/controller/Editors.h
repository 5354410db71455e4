#pragma once

class CDevice;
class CMSN;

// The dialogs the controller opens to edit a device or an own-number entry;
// the desktop front end provides them (frmDevice, frmMSN).
class DeviceEditor
{
public:
    virtual ~DeviceEditor() = default;
    virtual bool EditDevice(CDevice& device) = 0; // true when confirmed (and saved)
};

class MsnEditor
{
public:
    virtual ~MsnEditor() = default;
    virtual bool EditMSN(CMSN& entry, bool showClients) = 0; // true when confirmed
};
