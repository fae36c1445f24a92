// package.h: the package's two sides. package.cpp holds Regina's entry
// points (it alone includes rexxsaa.h, whose LONG and ULONG are not
// Windows' widths); load.cpp loads the library through halvorin.dll.
#ifndef BREVANTO_PACKAGE_H
#define BREVANTO_PACKAGE_H

#include <string>

namespace brevanto::package {

inline constexpr char kLoadName[] = "INETLOADFUNCS";
inline constexpr char kDropName[] = "INETDROPFUNCS";

// Loads brevanto.dll (once per process) from halvorin.dll's folder, has it
// register, and makes its functions callable from the script. Empty when
// done, else what went wrong.
std::string Load();

// Takes the library's functions back from Regina; the library stays loaded.
void Drop();

// A failure of one of the package's own functions, as the HALVORIN_*
// variables of the caller tell it.
void RememberFailure(const std::string &function, const std::string &error, const std::string &message);

} // namespace brevanto::package

#endif // BREVANTO_PACKAGE_H
