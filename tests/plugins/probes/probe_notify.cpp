#include "Probes.h"

class ProbeNotify : public NotificationProbe
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.NotificationPlugin/2" FILE "probe_notify.json")
    Q_INTERFACES(phonavo::NotificationPlugin)
};

#include "probe_notify.moc"
