// Turning the end of an operation into what the caller sees: the answer, or
// null and a message.
#pragma once

#include "error_codes.hpp"
#include "transport/exchange.hpp"

namespace zv {

// A pending failure code gives null and its message (for a refused key
// negotiation, the server's own words); an answer the server flagged as its
// error text gives null with that text as the message; otherwise the answer
// is the result. errorMessage may be null, and then no message is kept.
char* FinishOperation(const OperationStatus& status, Response& response,
                      char** errorMessage) noexcept;

// Runs body, which returns a failure code or 0, and turns an exception into
// the out-of-memory code: no exception leaves an operation.
template <typename Body>
uint32_t RunOperationStep(Body&& body) noexcept {
    return NoThrow<uint32_t>(kOutOfMemory, body);
}

}  // namespace zv
