#pragma once

#include <QString>

// The key under which the server counts what a peer does (wrong passwords,
// log lines). An IPv6 host has a whole /64 to take addresses from, so IPv6
// addresses count by their /64 ("2001:db8:1:2::/64"); IPv4 addresses (and
// text that is no address) count as they are.
QString addressKey(const QString& ip);
