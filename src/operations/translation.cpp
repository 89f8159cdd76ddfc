#include "translation.hpp"

#include <string>
#include <vector>

namespace zv {
namespace {

constexpr std::string_view kFormatNames[] = {"MV",       "XML",     "JSON",      "TABLE",
                                             "XML_DICT", "XML_SCH", "JSON_DICT", "JSON_SCH"};

std::string ApplyRule(const OperationTranslation& translation, std::string_view argument,
                      std::string_view name) {
    switch (translation.rule) {
        case TranslationRule::kAppend: {
            std::string result(argument);
            result += kSubitemSeparator;
            result += name;
            return result;
        }
        case TranslationRule::kInsert: {
            auto subitems = SplitItems(argument, kSubitemSeparator);
            if (subitems.size() < translation.insertAt) subitems.resize(translation.insertAt);
            subitems.insert(subitems.begin() + static_cast<std::ptrdiff_t>(translation.insertAt),
                            name);
            std::string result;
            for (std::size_t i = 0; i < subitems.size(); ++i) {
                if (i > 0) result += kSubitemSeparator;
                result += subitems[i];
            }
            return result;
        }
        case TranslationRule::kReplace:
            return std::string(name);
        case TranslationRule::kPassThrough:
            break;
    }
    return std::string(argument);
}

}  // namespace

std::string_view OutputFormatName(uint8_t outputFormat) noexcept {
    if (outputFormat >= 1 && outputFormat <= std::size(kFormatNames)) {
        return kFormatNames[outputFormat - 1];
    }
    return {};
}

OperationTranslation TranslationFor(uint8_t operationCode) noexcept {
    using enum TranslationRule;
    switch (operationCode) {
        case 2:
        case 6:
        case 10:
            return {kAppend, 0};
        case 3:
        case 5:
        case 18:
            return {kInsert, 1};
        case 4:
            return {kInsert, 3};
        case 14:
            return {kInsert, 5};
        case 15:
            return {kInsert, 6};
        case 7:
        case 9:
        case 11:
        case 12:
        case 13:
        case 17:
        case 150:
        case 151:
            return {kReplace, 0};
        default:
            return {kPassThrough, 0};
    }
}

bool TranslateOperationArguments(uint8_t operationCode, uint8_t outputFormat, const char* arguments,
                                 TranslatedArguments& translated) noexcept {
    translated.original_ = arguments == nullptr ? "" : arguments;
    translated.copy_.reset();
    const OperationTranslation translation = TranslationFor(operationCode);
    if (translation.rule == TranslationRule::kPassThrough) return true;
    return NoThrow(false, [&] {
        auto items = SplitItems(translated.original_, kArgumentSeparator);
        std::string changed;
        if (items.size() >= 2) {
            changed = ApplyRule(translation, items[1], OutputFormatName(outputFormat));
            items[1] = changed;
        }
        translated.copy_.reset(JoinItems(items, std::string_view(&kArgumentSeparator, 1)));
        return translated.copy_ != nullptr;
    });
}

}  // namespace zv
