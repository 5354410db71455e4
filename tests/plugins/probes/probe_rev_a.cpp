#include "Probes.h"

class ProbeRevA : public ReverseProbe
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.ReversePlugin/2" FILE "probe_rev_a.json")
    Q_INTERFACES(phonavo::ReversePlugin)
};

#include "probe_rev_a.moc"
