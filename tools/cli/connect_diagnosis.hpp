// What the system says about reaching a server, for the connection failures
// whose library message (C050, C104, C105) cannot name the host, the port or
// the reason.
#pragma once

#include <cstdint>
#include <string>

namespace zvcli {

// For a message that starts with C050, C104 or C105: host and port and the
// system's reason, learnt by resolving the name again and, for C104, trying
// each address once more within connectMs (at most 5 s; 0 means 5 s), e.g.
// "connecting to 127.0.0.1:1: connection refused". Empty for any other
// message. host is UTF-8.
std::string DiagnoseConnectFailure(const char* message, const std::string& host,
                                   const std::string& port, uint32_t connectMs);

}  // namespace zvcli
