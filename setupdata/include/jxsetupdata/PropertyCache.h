// The run's properties: named UTF-16 values; "[NAME]" inside any text expands to the value.
//
// Conventions the store enforces:
// - Names compare exactly (case-sensitive). A name written with a leading "§" or "@" is locked:
//   once it is set, the name can no longer be set in any form. References never carry the prefix.
// - A name beginning with "__" (after its lock prefix) is protected: its value is held scrambled
//   and only unscrambled while a text is expanded; it never reaches the log in clear.
// - A value beginning with "@" names a localised text of the definition, chosen by language.
// - A value "%a.b.c.d" is held as the decimal text of the 64-bit version number.
// - Values are expanded in turn, so text in square brackets inside a value is always read as a
//   reference: there is no escape for literal brackets.
//
// The store has its own reader/writer lock: expansion and lookups share it, SetProperty, Clear
// and AddText take it alone. It is never held while the store logs.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "jxsetupdata/TextListCache.h"

namespace JxSetup::Data {

using JxPropertyMap = std::unordered_map<std::u16string, std::u16string>;

class PropertyCache : public TextListCache {
public:
    // Bounds of one expansion, so that a value that refers to itself cannot run away.
    static constexpr size_t kMaxReplacements = 10000;
    static constexpr size_t kMaxExpandedBytes = 1024 * 1024;

    PropertyCache() = default;
    ~PropertyCache() override = default;

    // Replaces every "[NAME]" in text by the property's value, the innermost reference first, and
    // expands the values in turn; "@" values are read in the given language. Returns false (and logs
    // an ERROR line) when a bound was reached: out then holds the text as far as it got.
    virtual bool ExpandForLanguage(std::u16string& out, const std::u16string& text,
                                   const std::u16string& language) const;
    // ExpandForLanguage in the current language.
    virtual bool Expand(std::u16string& out, const std::u16string& text) const;
    // The form in which value is stored under name (version texts become numbers).
    virtual void NormalizeValue(std::u16string& out, const std::u16string& name,
                                const std::u16string& value) const;
    // Stores value under name as given (with its lock prefix); with flag set a protected value is
    // scrambled first. False for an empty or locked name, and the store is then unchanged.
    virtual bool SetProperty(const std::u16string& name, const std::u16string& value, int flag);
    // Four pieces split at "," and ".", each only decimal digits (an empty piece passes).
    virtual bool IsVersionNumber(const std::u16string& text) const;
    // A locked form ("§" or "@" + the name without its prefix) of the name is set.
    virtual bool IsLocked(const std::u16string& name) const;
    virtual void SetLanguage(const std::u16string& language);
    // Removes every property; texts and the current language stay.
    virtual void Clear();
    // A copy of every property under its name without lock prefix, values as stored.
    virtual void GetAllProperties(JxPropertyMap& out) const;
    // A copy: another thread may change the language meanwhile.
    virtual std::u16string GetLanguage() const;

    // The returning forms used across the engine.
    std::u16string ExpandProperties(const std::u16string& text) const;
    std::u16string ExpandPropertiesForLanguage(const std::u16string& text,
                                               const std::u16string& language) const;

    // The name without its lock prefix ("§" or "@"), or the name as it is.
    static std::u16string StripLockPrefix(const std::u16string& name);
    static bool HasLockPrefix(const std::u16string& name);
    // Whether exactly this name (prefix included) is set.
    bool ContainsName(const std::u16string& name) const;
    // The clear text of a value read under name: protected names unscramble it.
    static std::u16string DescrambleValue(const std::u16string& name, const std::u16string& value);

private:
    struct CExpandStop {
        size_t replacements = 0;
        size_t length = 0;
    };

    // Steps that run with m_Lock held.
    bool _expand_Run(std::u16string& text, const std::u16string& language, CExpandStop& stop) const;
    std::u16string _expand_LookupValue(const std::u16string& name) const;
    std::u16string _expand_ResolveLocalizedText(const std::u16string& value,
                                                const std::u16string& language) const;
    bool _props_IsLocked(const std::u16string& name) const;

    std::unordered_map<std::u16string, std::u16string> m_Properties;
    std::u16string m_Language;
};

// The value to store under name: scrambled when name (without lock prefix) is protected and the
// flag is set; callers that hold an already scrambled value pass the flag clear.
std::u16string ScrambleProtectedValue(const std::u16string& name, const std::u16string& value, int flag);

// Whether name (without lock prefix) holds a protected value.
bool IsProtectedPropertyName(const std::u16string& name);

} // namespace JxSetup::Data
