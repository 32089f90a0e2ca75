// A test add-on module: add-on functions that answer properties and messages, fail, throw or crash.
#include <csignal>
#include <stdexcept>
#include <string>

#include "jxsetupdata/JxAddOnAbi.h"

#define JX_ADDON_EXPORT extern "C" __attribute__((visibility("default")))

// Answers "ADDON_RESULT" = "done" and "ADDON_ARGUMENT" = the argument (two TABs between them), a
// last name without a value, and a message.
JX_ADDON_EXPORT bool SetValues(const WCHAR* argument, BSTR* properties, BSTR* message) {
    const std::u16string text =
        u"ADDON_RESULT\tdone\t\tADDON_ARGUMENT\t" + std::u16string(argument) + u"\tDANGLING";
    *properties = SysAllocString(text.c_str());
    *message = SysAllocString(u"SetValues answered.");
    return true;
}

// Answers false, with a property and a message all the same.
JX_ADDON_EXPORT bool Fails(const WCHAR*, BSTR* properties, BSTR* message) {
    *properties = SysAllocString(u"ADDON_FAILED\tyes");
    *message = SysAllocString(u"Fails answered false.");
    return false;
}

// Answers true and nothing else.
JX_ADDON_EXPORT bool Silent(const WCHAR*, BSTR*, BSTR*) {
    return true;
}

// Throws after it has allocated its answer (which the engine must free all the same).
JX_ADDON_EXPORT bool Throws(const WCHAR*, BSTR* properties, BSTR*) {
    *properties = SysAllocString(u"ADDON_THROWN\tyes");
    throw std::runtime_error("the add-on failed");
}

// Crashes the process that calls it, as an access violation does.
JX_ADDON_EXPORT bool Crashes(const WCHAR*, BSTR*, BSTR*) {
    std::raise(SIGSEGV);
    return true;
}
