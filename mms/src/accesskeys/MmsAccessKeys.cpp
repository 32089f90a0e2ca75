// Access keys: one scrambled value per kind of party below the restricted key.
#include "jxmms/MmsAccessKeys.h"

#include <optional>

#include "jxbase/scrambler.h"
#include "jxplat/text.h"

std::atomic<int> MmsAuthSubject{0};

namespace {

// One view: the restricted key is made (or its access list renewed), then the value written.
bool _key_WriteView(const std::u16string& name, const std::u16string& scrambled, REGSAM view) {
    if (name.empty())
        return false;
    CreateRestrictedKey(kMmsRestrictedSubKey, view);
    return WriteRestrictedValue(name, scrambled, view);
}

} // namespace

std::u16string GetAccessKeyValueName(MmsAccessKeyType kind) {
    if (kind == -1) {
        const int subject = MmsAuthSubject.load();
        return subject == -1 ? std::u16string() : GetAccessKeyValueName(subject);
    }
    switch (kind) {
    case 1:
        return u"ClientAccessKey";
    case 2:
        return u"ExchangeAccessKey";
    case 3:
    case 4:
    case 5:
        return u"MmsAccessKey";
    case 100:
        return u"IncomingAccessKey";
    default:
        return {};
    }
}

std::u16string ReadAccessKey(MmsAccessKeyType kind) {
    const std::u16string name = GetAccessKeyValueName(kind);
    if (name.empty())
        return {};
    const std::u16string stored = ReadRestrictedValue(name, u"", 0);
    return stored.empty() ? std::u16string() : UnscrambleValue(stored, kScrambleKeyHead);
}

bool WriteAccessKey(const std::u16string& key, MmsAccessKeyType kind) {
    const std::u16string name = GetAccessKeyValueName(kind);
    if (name.empty())
        return false;
    const std::u16string scrambled = ScrambleValue(key, kScrambleKeyHead);
    if (!IsProcessorArchitecture64())
        return _key_WriteView(name, scrambled, KEY_WOW64_32KEY);
    if (!_key_WriteView(name, scrambled, KEY_WOW64_64KEY))
        return false;
    return _key_WriteView(name, scrambled, KEY_WOW64_32KEY);
}

bool ParseAccessKeySubject(const std::u16string& subject, MmsAccessKeyType& kind) {
    const size_t start = !subject.empty() && subject[0] == u'-' ? 1 : 0;
    if (subject.size() <= start || subject.size() - start > 10)
        return false;
    for (size_t i = start; i < subject.size(); ++i)
        if (subject[i] < u'0' || subject[i] > u'9')
            return false;
    const std::optional<long long> value = jxtext::TryParseInt(subject);
    if (!value || *value < INT32_MIN || *value > INT32_MAX)
        return false;
    kind = static_cast<MmsAccessKeyType>(*value);
    return true;
}

std::u16string ReadAccessKeyForSubject(const std::u16string& subject) {
    MmsAccessKeyType kind = 0;
    if (!ParseAccessKeySubject(subject, kind))
        return {};
    return ReadAccessKey(kind);
}

bool WriteAccessKeyForSubject(const std::u16string& key, const std::u16string& subject) {
    MmsAccessKeyType kind = 0;
    if (!ParseAccessKeySubject(subject, kind))
        return false;
    return WriteAccessKey(key, kind);
}
