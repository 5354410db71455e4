#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusContext>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

class Application;

// The object registered on the bus. It carries the adaptor, and QtDBus hands
// it the context of the call being answered, so the adaptor can reply with
// an error.
class BusCallContext : public QObject, public QDBusContext
{
    Q_OBJECT
};

// The automation object as other programs see it on D-Bus: its members as
// methods with the same names and argument names, its events as signals,
// APIVersion and Version also as properties. QtDBus checks the argument types
// against these signatures; an unknown call id is answered with an error.
class ApplicationAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.phonavo.Application")
    Q_PROPERTY(int APIVersion READ APIVersion)
    Q_PROPERTY(QString Version READ Version)
public:
    static constexpr const char* kUnknownCall = "net.phonavo.Error.UnknownCall";
    static constexpr const char* kNotTaken = "net.phonavo.Error.CallNotTaken";

    ApplicationAdaptor(Application& application, BusCallContext* exported);

public slots:
    int APIVersion() const;
    bool Connect(const QString& AppName);
    QVariantMap GetCallByID(int CallID);
    bool StartCall(const QString& NumberToDial);
    QString Version() const;
    void Log(const QString& Text);
    void vntUniversal(const QString& sKey, const QDBusVariant& Params);
    int ShowIncomingCall(const QString& DeviceName, const QString& CallerID,
                         const QString& CallerName, const QString& CalledID,
                         const QString& CalledName);
    int ShowOutgoingCall(const QString& DeviceName, const QString& CallerID,
                         const QString& CallerName, const QString& CalledID,
                         const QString& CalledName);
    bool SetCallAnswered(int CallID);
    bool SetCallDisconnected(int CallID);

signals:
    void evtIncomingCall(int CallID);
    void evtOutgoingCall(int CallID);
    void evtCallDisconnected(int CallID);
    void evtCallAnswered(int CallID);
    void evtUniversal(const QString& key, const QDBusVariant& UniversalData);
    void evtLog(const QString& LogText);
    void evtExit();

private:
    int takenCall(int callId);
    bool known(bool done, int callId);
    void replyError(const char* name, const QString& message);

    Application& m_app;
};
