// The messages of the codes no test can provoke end to end, and the rules of
// the format; the others are checked where a real peer produces them.
#include <gtest/gtest.h>

#include <string>

#include "operations/messages.hpp"

TEST(ErrorMessages, CodeZeroPaddedToThreeDigitsThenTheText) {
    struct Case {
        uint32_t code;
        int32_t socketError;
        const char* message;
    };
    const Case cases[] = {
        {10, 0, "C010: Impossible allocate memory"},
        {101, 0, "C101: WSAStartup failed"},
        {320, 0, "C320: WINSOCK. shutdown error"},
        {350, 0, "C350: Encrypt negociation. Not sent all bytes of command header"},
        {400, 0, "C400: Nothing to send"},
        // Short sends show the socket error under the base number, which
        // itself carries none.
        {510, 104, "C310: Not sent all bytes of command header. WSA error code: 104"},
        {511, -3, "C311: Not sent all bytes of command data. WSA error code: -3"},
        {512, 32, "C312: Not sent all bytes of command checksum. WSA error code: 32"},
        {311, 99, "C311: Not send all bytes of command data"},
        // Unknown codes read as internal errors.
        {0, 0, "C000: INTERNAL ERROR 0"},
        {1234, 0, "C1234: INTERNAL ERROR 1234"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zv::ErrorMessageText(c.code, c.socketError), c.message);
    }
}
