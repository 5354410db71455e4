#include "Probes.h"

class ProbeConnA : public ConnectionProbe
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.ConnectionPlugin/2" FILE "probe_conn_a.json")
    Q_INTERFACES(phonavo::ConnectionPlugin)
};

#include "probe_conn_a.moc"
