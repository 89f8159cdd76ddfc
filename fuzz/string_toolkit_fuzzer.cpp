// The string toolkit and the record functions through the exported interface,
// on arbitrary bytes and indexes. Input: a separator byte, an index, then
// zero-terminated strings: a text to split, a key, pieces to concatenate, and
// record item values.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "zorvat.h"

namespace {

using zvfuzz::Require;

struct Owned {
    char* text;
    explicit Owned(char* owned) : text(owned) {}
    ~Owned() { ZvFreeMemory(text); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    bool Is(const std::string& expected) const { return text != nullptr && expected == text; }
};

std::vector<std::string> ItemsOf(const std::string& text, char separator) {
    std::vector<std::string> items(1);
    for (char c : text) {
        if (c == separator) {
            items.emplace_back();
        } else {
            items.back() += c;
        }
    }
    return items;
}

// Split, pick and join agree with a plain model of n separators, n + 1 items.
void CheckSplitAndJoin(const std::string& text, uint8_t separator, uint32_t index) {
    const std::vector<std::string> model = ItemsOf(text, static_cast<char>(separator));
    uint32_t count = 0;
    char** items = ZvStrSplit(text.c_str(), separator, &count);
    Require(items != nullptr && count == model.size() && items[count] == nullptr);
    for (uint32_t i = 0; i < count; ++i) Require(model[i] == items[i]);

    const char separatorText[2] = {static_cast<char>(separator), 0};
    const Owned joined(ZvStrJoin(items, count, separatorText));
    // A zero separator reads as the empty string, so it joins without one.
    std::string expected;
    for (uint32_t i = 0; i < count; ++i) {
        if (i != 0) expected += separatorText;
        expected += model[i];
    }
    Require(joined.Is(expected));
    if (separator != 0) Require(joined.Is(text));
    ZvFreeMemoryStringArray(items, count);

    const Owned picked(ZvExtractFromSplit(text.c_str(), separator, index));
    if (index < model.size()) {
        Require(picked.Is(model[index]));
    } else {
        Require(picked.text == nullptr);
    }
    const uint32_t inRange = index % static_cast<uint32_t>(model.size());
    Require(Owned(ZvExtractFromSplit(text.c_str(), separator, inRange)).Is(model[inRange]));
}

// A keyed look-up: the item that the last name equal to key labels (names
// past the last item label nothing), or null when there is none.
void CheckKeyedLookup(const std::string& data, const std::string& key, uint8_t itemSeparator,
                      uint8_t keySeparator) {
    const Owned value(ZvExtractData(data.c_str(), key.c_str(), itemSeparator, keySeparator));
    const std::vector<std::string> items = ItemsOf(data, static_cast<char>(itemSeparator));
    const std::vector<std::string> keys = ItemsOf(items[0], static_cast<char>(keySeparator));
    std::size_t position = items.size();
    for (std::size_t i = 0; i < std::min(keys.size(), items.size()); ++i) {
        if (keys[i] == key) position = i;
    }
    if (position == items.size()) {
        Require(value.text == nullptr);
    } else {
        Require(value.Is(items[position]));
    }
}

void CheckRecords(zvfuzz::FuzzInput& input, uint32_t index) {
    std::string values[8];
    for (std::string& value : values) value = input.TakeString();
    const auto port = static_cast<int32_t>(index);
    const Owned options(ZvCreateCredentialOptionsPlugin(
        values[0].c_str(), values[1].c_str(), port, values[2].c_str(), values[3].c_str(),
        values[4].c_str(), values[5].c_str(), values[6].c_str()));
    Require(options.text != nullptr);
    char** items = ZvExtractAllDataFromCredentialOptions(options.text);
    // Items holding the separator themselves make a record of another shape.
    if (items != nullptr) ZvFreeMemoryStringArray(items, ZV_CREDENTIAL_OPTIONS_ITEMS);
    const Owned one(ZvExtractDataFromCredentialOptions(options.text, index % 10));

    const Owned info(ZvCreateConnectionInfo(options.text, port));
    if (info.text == nullptr) return;
    const Owned changed(ZvChangeConnectionInfo(info.text, index % 14, values[7].c_str()));
    if (changed.text != nullptr && index % 14 < ZV_CONNECTION_INFO_ITEMS &&
        values[7].find('\x1C') == std::string::npos) {
        Require(Owned(ZvExtractDataFromConnectionInfo(changed.text, index % 14)).Is(values[7]));
    }
    char** all = ZvExtractAllDataFromConnectionInfo(changed.text ? changed.text : info.text);
    if (all != nullptr) ZvFreeMemoryStringArray(all, ZV_CONNECTION_INFO_ITEMS);

    // The record functions on a text that need not be a record at all.
    const std::string& arbitrary = values[7];
    char** anything = ZvExtractAllDataFromConnectionInfo(arbitrary.c_str());
    if (anything != nullptr) ZvFreeMemoryStringArray(anything, ZV_CONNECTION_INFO_ITEMS);
    const Owned item(ZvExtractDataFromConnectionInfo(arbitrary.c_str(), index));
    const Owned changedAnything(
        ZvChangeConnectionInfo(arbitrary.c_str(), index, values[0].c_str()));
    const Owned fromAnything(ZvCreateConnectionInfo(arbitrary.c_str(), port));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    zvfuzz::FuzzInput input(data, size);
    const uint8_t separator = input.TakeByte();
    const uint8_t keySeparator = input.TakeByte();
    const uint32_t index = input.TakeNumber();
    const std::string text = input.TakeString();
    const std::string key = input.TakeString();
    CheckSplitAndJoin(text, separator, index);
    CheckKeyedLookup(text, key, separator, keySeparator);

    const std::string second = input.TakeString();
    const Owned joined(ZvCatString(text.c_str(), second.c_str(), key.c_str()));
    Require(joined.Is(text + key + second));
    const Owned nulls(ZvCatString(nullptr, (index & 1) != 0 ? nullptr : second.c_str(), nullptr));
    Require(nulls.Is((index & 1) != 0 ? std::string() : second));

    CheckRecords(input, index);
    return 0;
}
