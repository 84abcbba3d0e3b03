// SPDX-FileCopyrightText: 2026 dialer-config developers
//
// SPDX-License-Identifier: MIT

// Any bytes as address text: the conversion must neither crash nor read out of bounds, and must
// agree with the C library's inet_aton, which defines the same text forms.

#include "ipaddressbox/InetAddress.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<quint32> ours = InetAddress::parse(text);
    (void)InetAddress::inetNtoa(InetAddress::inetAddr(text));

    const std::string cString(reinterpret_cast<const char *>(data), size); // ends at a NUL
    in_addr system{};
    const bool accepted = inet_aton(cString.c_str(), &system) != 0;
    if (accepted != ours.has_value() || (accepted && ntohl(system.s_addr) != *ours))
        std::abort();
    return 0;
}
