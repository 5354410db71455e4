#include <QObject>
#include <QtPlugin>

class ProbeOldInterface : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "net.phonavo.ConnectionPlugin/1" FILE "probe_conn_old.json")
};

#include "probe_conn_old.moc"
