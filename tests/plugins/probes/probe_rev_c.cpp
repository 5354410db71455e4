#include "Probes.h"

class ProbeRevC : public ReverseProbe
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.ReversePlugin/2" FILE "probe_rev_c.json")
    Q_INTERFACES(phonavo::ReversePlugin)
};

#include "probe_rev_c.moc"
