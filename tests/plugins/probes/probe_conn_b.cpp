#include "Probes.h"

class ProbeConnB : public ConnectionProbe
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.ConnectionPlugin/2" FILE "probe_conn_b.json")
    Q_INTERFACES(phonavo::ConnectionPlugin)
};

#include "probe_conn_b.moc"
