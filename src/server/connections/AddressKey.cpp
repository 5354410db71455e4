#include "AddressKey.h"

#include <QHostAddress>

QString addressKey(const QString& ip)
{
    const QHostAddress address(ip);
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return ip;
    bool mapped = false;
    address.toIPv4Address(&mapped);
    if (mapped)
        return ip;
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}
