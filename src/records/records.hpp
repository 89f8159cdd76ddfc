// The two record strings: the credential-options record (8 items) and the
// connection-info record (the same 8 items and 4 session items).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

inline constexpr std::size_t kCredentialOptionsItems = 8;
inline constexpr std::size_t kConnectionInfoItems = 12;

// Item positions, shared by both records for 0 to 7.
enum RecordItem : std::size_t {
    kHostItem = 0,
    kCredentialItem1 = 1,
    kPortItem = 2,
    kCredentialItem3 = 3,
    kCredentialItem4 = 4,
    kCredentialItem5 = 5,
    kCredentialItem6 = 6,
    kPluginItem = 7,
    kRecordIdItem = 8,
    kSessionIdItem = 9,
    kSessionKeyItem = 10,
    kReservedValueItem = 11,
};

// Numbers inside records are written as signed decimal, like printf's "%d".
std::string DecimalText(int32_t value);

// A new string array of the record's items when it holds exactly
// expectedItems of them, else null.
char** ExtractAllItems(const char* record, std::size_t expectedItems) noexcept;

// A new copy of item index when index < limit and the record has that item,
// else null. The record's item count is not checked.
char* ExtractOneItem(const char* record, std::size_t index, std::size_t limit) noexcept;

}  // namespace zv
