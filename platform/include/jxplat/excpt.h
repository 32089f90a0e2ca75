// Structured exceptions. The stand-in raises one as a C++ exception that carries the exception
// record; TryExcept stands for a __try/__except block: it runs the body and shows every exception
// that leaves it (a C++ exception as the C++ runtime's code 0xE06D7363) to the filter, which
// decides whether the block handles it or it goes on. An exception that leaves a thread of
// CreateThread unhandled ends the process with the exception code, as Windows does. Hardware
// faults (a real access violation) are not turned into exceptions.
#pragma once

#include <functional>

#include "jxplat/wintypes.h"

#define EXCEPTION_MAXIMUM_PARAMETERS 15
#define EXCEPTION_NONCONTINUABLE 0x1u

#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define EXCEPTION_CONTINUE_EXECUTION (-1)

#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_STACK_OVERFLOW 0xC00000FDu
// The code under which the C++ runtime raises a C++ exception.
#define EXCEPTION_CPP_EXCEPTION 0xE06D7363u

typedef struct _EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    struct _EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

// The processor context is not modelled: ContextRecord stays null.
struct _CONTEXT;
typedef struct _CONTEXT CONTEXT, *PCONTEXT;

typedef struct _EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

// Raises the exception; more than EXCEPTION_MAXIMUM_PARAMETERS arguments are cut to that many.
// It does not return: a filter's EXCEPTION_CONTINUE_EXECUTION is treated as continue-search.
[[noreturn]] void RaiseException(DWORD code, DWORD flags, DWORD argumentCount, const ULONG_PTR* arguments);

namespace jxplat {

// The exception object behind RaiseException.
struct CStructuredException {
    EXCEPTION_RECORD record = {};
};

// __try { body } __except (filter(pointers)) { }: true when the filter chose the handler for an
// exception of the body (the block is left), false when the body ended normally. An exception the
// filter passes on leaves TryExcept unchanged. The pointers are valid during the filter only.
bool TryExcept(const std::function<void()>& body, const std::function<LONG(PEXCEPTION_POINTERS)>& filter);

// The process's handling of an exception that nobody handled: a line on the standard error and the
// end of the process with the exception code as its exit code.
[[noreturn]] void EndProcessForUnhandledException(const EXCEPTION_RECORD& record);

} // namespace jxplat
