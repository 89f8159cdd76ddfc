// Room in the process's descriptor limit for the connections the server is
// asked to hold.
#pragma once

#include <cstddef>
#include <string>

namespace zv::server {

// Raises the soft limit on open descriptors so that connections clients, and
// a few descriptors besides, fit, as far as the hard limit allows. Returns
// an empty text, or one line saying how many connections fit instead.
std::string MakeRoomForConnections(std::size_t connections);

}  // namespace zv::server
