// The connection-info record: the 8 credential-options items, then recordId,
// the session identifier text, the session key and the reserved value.
#include "records.hpp"
#include "strings/strings.hpp"
#include "zorvat.h"

namespace {

const std::string_view kSeparator(&zv::kItemSeparator, 1);

}  // namespace

extern "C" {

// The credential-options record is appended as it stands, not validated: a
// record of another item count gives a connection-info record that every
// reader refuses.
char* ZvCreateConnectionInfo(const char* credentialOptions, int32_t reservedValue) {
    if (credentialOptions == nullptr) return nullptr;
    return zv::NoThrow<char*>(nullptr, [&]() -> char* {
        const std::string number = zv::DecimalText(reservedValue);
        const std::string_view pieces[] = {credentialOptions, "", "", "", number};
        return zv::JoinItems(pieces, kSeparator);
    });
}

char* ZvChangeConnectionInfo(const char* connectionInfo, uint32_t index, const char* value) {
    if (connectionInfo == nullptr || value == nullptr || index >= zv::kConnectionInfoItems) {
        return nullptr;
    }
    return zv::NoThrow<char*>(nullptr, [&]() -> char* {
        auto items = zv::SplitItems(connectionInfo, zv::kItemSeparator);
        if (items.size() != zv::kConnectionInfoItems) return nullptr;
        items[index] = value;
        return zv::JoinItems(items, kSeparator);
    });
}

char** ZvExtractAllDataFromConnectionInfo(const char* connectionInfo) {
    return zv::ExtractAllItems(connectionInfo, zv::kConnectionInfoItems);
}

char* ZvExtractDataFromConnectionInfo(const char* connectionInfo, uint32_t index) {
    return zv::ExtractOneItem(connectionInfo, index, zv::kConnectionInfoItems);
}

}  // extern "C"
