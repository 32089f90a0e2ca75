// One store shared by threads: writers and readers never see a half-made table or value.
#include "jxsetupdata/PropertyCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "jxplat/text.h"
#include "jxtest/machine_root.h"

using JxSetup::Data::PropertyCache;

namespace {

constexpr int kRounds = 1000;

TEST(PropertyConcurrency, SetAndExpandFromTwoThreads) {
    jxtest::TempMachineRoot root;
    PropertyCache cache;
    cache.SetProperty(u"B", u"b", 1);
    cache.SetProperty(u"A", u"a", 1);
    cache.SetProperty(u"__S", u"s", 1);
    cache.SetLanguage(u"en-US");
    std::atomic<int> bad{0};

    // The writer switches A between a plain value and a reference, rewrites the others and adds
    // many names, so that the table grows (and rehashes) while the reader expands.
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            cache.SetProperty(u"A", i % 2 ? u"[B]" : u"a", 1);
            cache.SetProperty(u"__S", i % 2 ? u"s" : u"[B]", 1);
            cache.SetProperty(u"N" + jxtext::ToText(i), u"n", 1);
            cache.SetLanguage(i % 2 ? u"de-DE" : u"en-US");
            cache.AddText(u"TXT", u"t", u"en-US");
            if (i % 100 == 50) {
                cache.Clear();
                cache.SetProperty(u"B", u"b", 1);
            }
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < kRounds; ++i) {
            const std::string a = jxtext::N(cache.ExpandProperties(u"[A]"));
            const std::string s = jxtext::N(cache.ExpandProperties(u"[__S]"));
            if ((a != "a" && a != "b" && a != "") || (s != "s" && s != "b" && s != ""))
                ++bad;
            JxSetup::Data::JxPropertyMap all;
            cache.GetAllProperties(all);
            const std::u16string language = cache.GetLanguage();
            if (language != u"de-DE" && language != u"en-US")
                ++bad;
        }
    });
    writer.join();
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(jxtext::N(cache.ExpandProperties(u"[A][__S]")), "bs");
}

} // namespace
