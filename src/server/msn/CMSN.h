#pragma once

#include <QString>

// One of the user's own numbers (or several, separated by ";"), its display
// name and the network clients that hear about its calls.
class CMSN
{
public:
    QString MSN;
    QString Name;
    QString Clients;
};

// What the own-number table needs to know of a client connection.
struct ClientAddress
{
    QString IP;
    QString HostName;
};
