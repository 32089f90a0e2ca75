// The binary contract between the engine and a GUI module.
//
// A GUI module ("gui.dll" of the "$SETUP" package) and the engine call each other only through
// tables of virtual operations, by position: the module calls the data object (IJxSetupData), its
// page sequencer (IJxUiSequencer) and the virtual file system (VirtualFS); the engine calls the GUI
// object (IJxExternalGUI). Each interface is declared once, as one ordered list of pure virtual
// operations, and its implementation marks every operation `override`, so an operation can neither
// be left out nor move out of its place.
//
// Slots. The engine is built with clang, which lays tables out by the Itanium C++ ABI: operations
// take slots in the order of declaration, a base class's operations first; a virtual destructor
// takes two slots (the complete-object and the deleting destructor). So, counting slots from 0:
// - IJxSetupData: position 1 (OnRepackProgress) is slot 0, position 2 (the destructor) slots 1 and
//   2, and every later position p is slot p.
// - VirtualFS: position 1 (the destructor) is slots 0 and 1, position p >= 2 is slot p.
// - IJxUiSequencer: no virtual destructor; position p is slot p - 1.
// - IJxExternalGUI: no virtual destructor (its first position is a placeholder and the object dies
//   through Release); position p is slot p - 1.
// The slot table tests hold every operation to its slot.
//
// Texts cross in one form in every direction: a text argument is `const std::u16string&` (UTF-16,
// not necessarily zero-terminated inside, an absent text is the empty one) and a text result is a
// `std::u16string` returned by value, whose storage then belongs to the receiver. Lists are
// `std::vector`s of the same kinds. Both sides must therefore use one C++ standard library and its
// C++11 string layout (libstdc++ here) and share one heap: every module is built by this project
// with the engine's compiler and flags. Integers are 32-bit (int, DWORD, UINT), flags are bool.
#pragma once
