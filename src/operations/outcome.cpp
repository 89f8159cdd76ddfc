#include "outcome.hpp"

#include "operations/messages.hpp"

namespace zv {

char* FinishOperation(const OperationStatus& status, Response& response,
                      char** errorMessage) noexcept {
    CString message;
    CString result;
    if (status.Failed()) {
        // The refusal text ends at its first zero byte, as the server's
        // words are handed on as a C string.
        message.reset(status.code == kNegotiationRefused
                          ? CopyToCString(status.serverErrorText.c_str())
                          : BuildErrorMessage(status.code, status.lastSocketError));
    } else if (response.isErrorText) {
        message = std::move(response.text);
    } else {
        result = std::move(response.text);
    }
    if (errorMessage != nullptr) *errorMessage = message.release();
    return result.release();
}

}  // namespace zv
