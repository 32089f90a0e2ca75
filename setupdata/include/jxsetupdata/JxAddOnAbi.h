// The calling contract of an add-on function: an exported function of an add-on module of the
// setup's packages, which the engine calls by name with an argument text and which answers with
// properties to set and a message for the log.
//
// The function takes the argument (a zero-terminated UTF-16 text whose property references the
// engine has expanded) and two BSTR outputs, both null when it is called, and answers success as
// a one-byte bool (the caller cleans up the arguments: cdecl on 32-bit Windows). The first output
// is null or the properties to set, names and values separated by TAB characters ("NAME\tvalue\t
// NAME2\tvalue2"; runs of TABs count as one, a last name without a value is dropped); the second
// is null or a message. The engine frees both with SysFreeString: an add-on allocates them with
// SysAllocString of the one BSTR implementation that it and the engine link (jx_bstr).
#pragma once

#include "jxplat/oleauto.h"

namespace JxSetup::Data {

using JxAddOnFunction = bool (*)(const WCHAR* argument, BSTR* properties, BSTR* message);

} // namespace JxSetup::Data
