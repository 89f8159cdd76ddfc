#include <gtest/gtest.h>

#include <string>

#include "operations/messages.hpp"
#include "strings/strings.hpp"

using zv::ErrorMessageText;

TEST(ErrorMessages, CarryTheCodeZeroPaddedToThreeDigits) {
    EXPECT_EQ(ErrorMessageText(50, 0), "C050: Unable to resolve hostname");
    EXPECT_EQ(ErrorMessageText(101, 0), "C101: WSAStartup failed");
    EXPECT_EQ(ErrorMessageText(104, 0), "C104: Unable to connect to server!");
    EXPECT_EQ(ErrorMessageText(353, 0),
              "C353: Encrypt negociation. Not received all bytes of data response response");
    EXPECT_EQ(ErrorMessageText(405, 0), "C405: Checksum error");
}

TEST(ErrorMessages, CodesWithoutAnOriginalTextHaveTheirOwn) {
    EXPECT_EQ(ErrorMessageText(10, 0), "C010: Impossible allocate memory");
    EXPECT_EQ(ErrorMessageText(30, 0), "C030: Invalid PORT number");
    EXPECT_EQ(ErrorMessageText(31, 0), "C031: Error in CredentialOptions: Expected 8 items");
    EXPECT_EQ(ErrorMessageText(32, 0), "C032: Error in ConnectionInfo: Expected 12 items");
    EXPECT_EQ(ErrorMessageText(33, 0),
              "C033: Error in ConnectionInfo: No session key, login first");
    EXPECT_EQ(ErrorMessageText(34, 0), "C034: Error in ConnectionInfo: Invalid session identifier");
    EXPECT_EQ(ErrorMessageText(320, 0), "C320: WINSOCK. shutdown error");
    EXPECT_EQ(ErrorMessageText(357, 0), "C357: Encrypt negociation. Invalid session key");
    EXPECT_EQ(ErrorMessageText(406, 0), "C406: Invalid encrypted data");
}

TEST(ErrorMessages, UnknownCodesReadAsInternalErrors) {
    EXPECT_EQ(ErrorMessageText(0, 0), "C000: INTERNAL ERROR 0");
    EXPECT_EQ(ErrorMessageText(7, 0), "C007: INTERNAL ERROR 7");
    EXPECT_EQ(ErrorMessageText(1234, 0), "C1234: INTERNAL ERROR 1234");
}

TEST(ErrorMessages, ShortSendsShowTheSocketErrorUnderTheBaseNumber) {
    EXPECT_EQ(ErrorMessageText(510, 104),
              "C310: Not sent all bytes of command header. WSA error code: 104");
    EXPECT_EQ(ErrorMessageText(511, -3),
              "C311: Not sent all bytes of command data. WSA error code: -3");
    EXPECT_EQ(ErrorMessageText(512, 32),
              "C312: Not sent all bytes of command checksum. WSA error code: 32");
    // The base numbers themselves carry no error number.
    EXPECT_EQ(ErrorMessageText(311, 99), "C311: Not send all bytes of command data");
}

TEST(ErrorMessages, BuildErrorMessageHandsOutAMallocCopy) {
    zv::CString message(zv::BuildErrorMessage(402, 0));
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message.get(), "C402: Not enough free memory for received data");
}
