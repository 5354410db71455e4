#pragma once

#include "ControlProtocol.h"

class TelephonyHub;
class VirtualLineProvider;

// Carries out the commands of the control channel on the virtual lines.
// Device arguments are the wrapper's device numbers or device names.
class VirtualLineCommands
{
public:
    explicit VirtualLineCommands(TelephonyHub& hub) : m_hub(hub) {}

    ControlProtocol::Reply execute(const QStringList& args);
    static QString usage();

private:
    struct Target
    {
        VirtualLineProvider* provider = nullptr;
        int localDevice = -1;
    };
    std::optional<Target> resolveDevice(const QString& text, QString* error) const;
    static std::optional<qint32> parseCallId(const QString& text, QString* error);
    static std::optional<qint32> parseState(const QString& text, QString* error);

    ControlProtocol::Reply list() const;
    ControlProtocol::Reply calls() const;
    ControlProtocol::Reply ring(const QStringList& args);
    ControlProtocol::Reply identity(const QStringList& args, bool caller);
    ControlProtocol::Reply onCall(const QStringList& args);
    ControlProtocol::Reply dial(const QStringList& args);

    TelephonyHub& m_hub;
};
