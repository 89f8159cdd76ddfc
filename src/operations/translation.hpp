// Writing the selected data format's name into an operation's arguments, in
// the place the server's handler for that operation expects it.
#pragma once

#include <cstdint>
#include <string_view>

#include "strings/strings.hpp"

namespace zv {

// "MV", "XML", "JSON", "TABLE", "XML_DICT", "XML_SCH", "JSON_DICT" or
// "JSON_SCH" for outputFormat 1 to 8; the empty name for any other value.
std::string_view OutputFormatName(uint8_t outputFormat) noexcept;

enum class TranslationRule {
    kPassThrough,  // the arguments stay as they are
    kAppend,       // argument 1 gains 0xFE and the name
    kInsert,       // the name becomes sub-item insertAt of argument 1
    kReplace,      // argument 1 becomes the name
};

struct OperationTranslation {
    TranslationRule rule = TranslationRule::kPassThrough;
    std::size_t insertAt = 0;
};

OperationTranslation TranslationFor(uint8_t operationCode) noexcept;

// The arguments of an operation as they go to the server: either the caller's
// own string (for operations that take no format name) or a translated copy
// this object owns.
class TranslatedArguments {
public:
    const char* Text() const noexcept { return copy_ ? copy_.get() : original_; }
    bool IsCopy() const noexcept { return copy_ != nullptr; }

private:
    friend bool TranslateOperationArguments(uint8_t, uint8_t, const char*,
                                            TranslatedArguments&) noexcept;
    const char* original_ = "";
    CString copy_;
};

// Applies the rule of operationCode to arguments (null counts as empty).
// Argument 1 is the second argument between 0x1F bytes; under the insert rule
// it is a list of sub-items between 0xFE bytes. Without an argument 1 the
// arguments stay as they are; an argument 1 with too few sub-items for the
// insert position is padded with empty ones, so that the name always lands at
// its position. Returns false when memory runs out.
bool TranslateOperationArguments(uint8_t operationCode, uint8_t outputFormat, const char* arguments,
                                 TranslatedArguments& translated) noexcept;

}  // namespace zv
