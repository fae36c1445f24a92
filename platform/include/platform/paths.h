// Platform-private, exported by kernel32.dll for the other stand-ins: the
// per-user folder and the drive table that maps Windows paths to Linux ones.
//
// The per-user folder is $PLATFORM_USER_DIR, else $HOME/.brevanto-platform.
// Its file `drives` maps drive letters to folders, one `X=/folder` a line
// (blank lines and lines starting with # or ; are passed over); Z: is / unless
// the table says otherwise.
#ifndef PLATFORM_PATHS_H
#define PLATFORM_PATHS_H

#include <windows.h>
#include <platform/errors.h>

#include <string>
#include <string_view>

namespace platform {

// The per-user folder as a Linux path, created (mode 0700) when missing.
PLATFORM_API DWORD UserDirectory(std::string& path);

// A Windows path ("C:\data\report.csv", "\x", "sub\file") or a Linux path to
// a Linux path. Drive paths go through the drive table and are normalised
// ("." and ".." resolved, never above the drive's folder); relative paths stay
// relative; Linux paths pass through unchanged. Errors: ERROR_INVALID_DRIVE
// (letter not mapped), ERROR_BAD_PATHNAME (UNC and device paths),
// ERROR_INVALID_NAME (characters Windows forbids), ERROR_FILENAME_EXCED_RANGE,
// ERROR_PATH_NOT_FOUND (empty).
PLATFORM_API DWORD ToNativePath(std::string_view path, std::string& native);

// A Linux path (relative ones are taken from the current folder) to its
// Windows form under the drive whose folder is the longest match: /work/x
// gives "Z:\work\x" with the default table. ERROR_PATH_NOT_FOUND when no
// drive holds it.
PLATFORM_API DWORD ToWindowsPath(std::string_view path, std::string& windows);

}  // namespace platform

#endif
