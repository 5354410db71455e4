#include "Probes.h"

// Registered under the server-connection plug-in's ProgID, for the guard that
// keeps that plug-in off its own machine.
class ProbeServerConnection : public ConnectionProbe
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.ConnectionPlugin/2" FILE "probe_conn_server.json")
    Q_INTERFACES(phonavo::ConnectionPlugin)
};

#include "probe_conn_server.moc"
