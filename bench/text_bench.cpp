// Both text conversions on mostly-ASCII text: words of lowercase letters in
// which about one letter in 25 is accented (or a euro sign), as in a
// European-language payload.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "transport/text_conversion.hpp"

namespace {

constexpr int kSmall = 1024;
constexpr int kLarge = 1048576;

// ISO-8859-15 text of exactly size bytes.
std::string MostlyAsciiIsoText(std::size_t size) {
    static constexpr char kAccented[] = "\xE9\xE8\xE0\xE7\xFC\xF6\xC9\xA4\xBD";
    std::string text;
    text.reserve(size);
    uint32_t state = 12345;
    while (text.size() < size) {
        state = state * 1664525u + 1013904223u;
        const uint32_t pick = state >> 16;
        if (pick % 7 == 0) {
            text += ' ';
        } else if (pick % 25 == 1) {
            text += kAccented[(pick / 25) % (sizeof kAccented - 1)];
        } else {
            text += static_cast<char>('a' + (pick / 7) % 26);
        }
    }
    return text;
}

// UTF-8 text of exactly size bytes, cut back to a whole character.
std::string MostlyAsciiUtf8Text(std::size_t size) {
    char* converted = zv::Iso885915ToUtf8(MostlyAsciiIsoText(size).c_str());
    std::string text(converted, size);
    std::free(converted);
    while ((static_cast<unsigned char>(text.back()) & 0xC0) == 0x80 ||
           static_cast<unsigned char>(text.back()) >= 0xC0) {
        text.back() = 'z';
    }
    return text;
}

void RunConversion(benchmark::State& state, const std::string& input,
                   char* (*convert)(const char*) noexcept) {
    for (auto _ : state) {
        char* output = convert(input.c_str());
        benchmark::DoNotOptimize(output);
        std::free(output);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(input.size()));
}

void BM_Iso885915ToUtf8(benchmark::State& state) {
    RunConversion(state, MostlyAsciiIsoText(static_cast<std::size_t>(state.range(0))),
                  zv::Iso885915ToUtf8);
}

void BM_Utf8ToIso885915(benchmark::State& state) {
    RunConversion(state, MostlyAsciiUtf8Text(static_cast<std::size_t>(state.range(0))),
                  zv::Utf8ToIso885915);
}

}  // namespace

BENCHMARK(BM_Iso885915ToUtf8)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Utf8ToIso885915)->Arg(kSmall)->Arg(kLarge);
