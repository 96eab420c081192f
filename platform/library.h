// Loading shared libraries by their Windows names and looking up entry points.
//
// A Windows name ("Mapi32.dll", "VKLANG.DLL", "C:\\x\\vim32.dll") maps to the file
// "lib" + lower-cased base name without ".dll" + ".so" ("libmapi32.so"). A name already
// ending in ".so" is used as it stands; a name containing '/' that names an existing file
// is loaded from there. The file is looked for, ignoring case, in this order:
//   1. each folder of env TETHER_LIBRARY_PATH (colon-separated);
//   2. the folder of the running program, then its ../lib;
//   3. the build's lib folder, then the install's lib folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The file name a Windows library name maps to ("Mapi32.dll" -> "libmapi32.so").
std::string SharedObjectName(std::string_view windowsName);

// The folders searched, in order.
std::vector<std::string> LibrarySearchPath();

// The library's handle, or null with a text in *error (when given) saying which file was
// looked for where, or why loading failed. Release with FreeLibrary.
void* LoadLibraryByName(std::string_view windowsName, std::string* error = nullptr);

// Entry point `name` of a loaded library; null when missing or library is null. A
// decorated stdcall name "Name@N" (N decimal) that the library lacks is looked up as "Name".
void* GetProcAddress(void* library, const char* name);

// Releases a handle of LoadLibraryByName; null is ignored.
void FreeLibrary(void* library);

}  // namespace platform
