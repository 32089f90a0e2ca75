// Fuzz target of condition expressions: any text (taken as UTF-8) must evaluate to true or false,
// the same way every time, with or without a property resolver.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "jxplat/text.h"
#include "jxsetupdata/JxExpressionParser.h"

using JxSetup::Data::JxExpressionParser;

namespace {

std::string g_OwnMachineRoot;

void RemoveOwnMachineRoot() {
    std::error_code ec;
    std::filesystem::remove_all(g_OwnMachineRoot, ec);
}

// A few properties of every kind the parser meets: numbers, texts, empty values, folded bits and
// values that look like structure or references.
std::u16string Expand(const std::u16string& text) {
    static const std::map<std::u16string, std::u16string> values = {
        {u"A", u"1"},    {u"B", u"abc"},
        {u"E", u""},     {u"N", u"-9223372036854775808"},
        {u"F", u"12&4"}, {u"S", u"1==1 || (2"},
        {u"R", u"[A]"},  {u"V", u"281483566841860"},
        {u"Q", u"'x'"},  {u"L", u"9223372036854775808"},
    };
    std::u16string result = text;
    for (int pass = 0; pass < 16; ++pass) {
        const size_t close = result.find(u']');
        const size_t open = close == std::u16string::npos ? close : result.rfind(u'[', close);
        if (open == std::u16string::npos)
            break;
        const auto it = values.find(result.substr(open + 1, close - open - 1));
        result.replace(open, close - open + 1, it == values.end() ? std::u16string() : it->second);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log writer reads the machine's registry: never let it reach a default machine root.
    if (const char* root = std::getenv("JX_MACHINE_ROOT"); !root || !*root) {
        char pattern[] = "/tmp/jx_fuzz_condition_XXXXXX";
        if (const char* made = mkdtemp(pattern)) {
            g_OwnMachineRoot = made;
            setenv("JX_MACHINE_ROOT", made, 1);
            std::atexit(RemoveOwnMachineRoot);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text =
        jxtext::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));

    JxExpressionParser parser(Expand);
    const bool first = parser.Parse(text);
    if (parser.Parse(text) != first)
        std::abort(); // evaluation depends on nothing but the text and the properties

    JxExpressionParser bare(nullptr);
    (void)bare.Parse(text);
    return 0;
}
