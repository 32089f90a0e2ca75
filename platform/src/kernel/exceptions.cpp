// Structured exceptions over C++ exceptions: RaiseException throws the record, TryExcept shows it
// to the filter of the block.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "jxplat/excpt.h"
#include "jxplat/processenv.h"
#include "jxplat/winbase.h"

void RaiseException(DWORD code, DWORD flags, DWORD argumentCount, const ULONG_PTR* arguments) {
    jxplat::CStructuredException raised;
    raised.record.ExceptionCode = code;
    raised.record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    raised.record.ExceptionAddress = __builtin_return_address(0);
    if (arguments) {
        raised.record.NumberParameters = std::min<DWORD>(argumentCount, EXCEPTION_MAXIMUM_PARAMETERS);
        std::copy_n(arguments, raised.record.NumberParameters, raised.record.ExceptionInformation);
    }
    throw raised;
}

namespace jxplat {

bool TryExcept(const std::function<void()>& body, const std::function<LONG(PEXCEPTION_POINTERS)>& filter) {
    try {
        body();
        return false;
    } catch (const CStructuredException& raised) {
        EXCEPTION_RECORD record = raised.record;
        EXCEPTION_POINTERS pointers = {&record, nullptr};
        if (filter(&pointers) != EXCEPTION_EXECUTE_HANDLER)
            throw;
        return true;
    } catch (...) {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = EXCEPTION_CPP_EXCEPTION;
        record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
        EXCEPTION_POINTERS pointers = {&record, nullptr};
        if (filter(&pointers) != EXCEPTION_EXECUTE_HANDLER)
            throw;
        return true;
    }
}

void EndProcessForUnhandledException(const EXCEPTION_RECORD& record) {
    std::fprintf(stderr, "Unhandled exception 0x%08x in thread %u: the process ends\n",
                 static_cast<unsigned>(record.ExceptionCode), static_cast<unsigned>(GetCurrentThreadId()));
    std::fflush(stderr);
    WriteExitCode(record.ExceptionCode);
    // Other threads still run: no exit handlers, as when Windows ends the process.
    std::_Exit(static_cast<int>(record.ExceptionCode & 0xFF));
}

} // namespace jxplat
