#pragma once

namespace JxSetup::Data {
// Makes the program's string table available to LoadStringW.
void RegisterProgramResources();
} // namespace JxSetup::Data
