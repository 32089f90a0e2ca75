// Property keys of the shell the stand-in knows.
#pragma once

#include "jxplat/propsys.h"

// System.AppUserModel.ID: {9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3}, 5.
extern const PROPERTYKEY PKEY_AppUserModel_ID;
