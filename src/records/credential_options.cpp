// The credential-options record: host, credential item 1, port, credential
// items 3 to 6 and the plug-in item, separated by 0x1C.
#include "records.hpp"
#include "strings/strings.hpp"
#include "zorvat.h"

namespace {

char* BuildCredentialOptions(const char* host, const char* credentialItem1, int32_t port,
                             const char* credentialItem3, const char* credentialItem4,
                             const char* credentialItem5, const char* credentialItem6,
                             const char* plugin) noexcept {
    const char* texts[] = {
        host,  credentialItem1, credentialItem3, credentialItem4, credentialItem5, credentialItem6,
        plugin};
    for (const char* text : texts) {
        if (text == nullptr) return nullptr;
    }
    return zv::NoThrow<char*>(nullptr, [&]() -> char* {
        const std::string portText = zv::DecimalText(port);
        const std::string_view items[zv::kCredentialOptionsItems] = {host,
                                                                     credentialItem1,
                                                                     portText,
                                                                     credentialItem3,
                                                                     credentialItem4,
                                                                     credentialItem5,
                                                                     credentialItem6,
                                                                     plugin};
        return zv::JoinItems(items, std::string_view(&zv::kItemSeparator, 1));
    });
}

}  // namespace

extern "C" {

char* ZvCreateCredentialOptions(const char* host, const char* credentialItem1, int32_t port,
                                const char* credentialItem3, const char* credentialItem4,
                                const char* credentialItem5, const char* credentialItem6) {
    return BuildCredentialOptions(host, credentialItem1, port, credentialItem3, credentialItem4,
                                  credentialItem5, credentialItem6, "");
}

char* ZvCreateCredentialOptionsPlugin(const char* host, const char* credentialItem1, int32_t port,
                                      const char* credentialItem3, const char* credentialItem4,
                                      const char* credentialItem5, const char* credentialItem6,
                                      const char* plugin) {
    return BuildCredentialOptions(host, credentialItem1, port, credentialItem3, credentialItem4,
                                  credentialItem5, credentialItem6, plugin);
}

char** ZvExtractAllDataFromCredentialOptions(const char* credentialOptions) {
    return zv::ExtractAllItems(credentialOptions, zv::kCredentialOptionsItems);
}

char* ZvExtractDataFromCredentialOptions(const char* credentialOptions, uint32_t index) {
    return zv::ExtractOneItem(credentialOptions, index, zv::kCredentialOptionsItems);
}

}  // extern "C"
