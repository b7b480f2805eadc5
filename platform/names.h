// File names by the rules of the system: where the file name of a path begins, how a folder ends,
// the key under which the file system compares names, and the names it keeps for devices.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

/// The length of the folder part of `path`, its last separator included: 0 for a bare name. On
/// Windows both "\" and "/" separate, and a drive ("C:name") ends a folder part too.
std::size_t FolderLength(std::string_view path);

/// Ends the folder `folder` (not empty) with "/", which every system takes, so that names show as
/// on POSIX; unless it ends in a separator already or, on Windows, is a drive alone ("D:", the
/// current folder of drive D).
void EndWithSeparator(std::string& folder);

/// Appends to `key` the form of `fileName` under which the file system compares names, so that
/// two names are one exactly when their keys are equal: the name itself where case counts; on
/// Windows the name in upper case, without the trailing dots and blanks that Windows drops.
void AppendNameKey(std::string& key, std::string_view fileName);

/// Whether the system keeps the file name `fileName` for a device, in every folder: on Windows
/// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$ and CONOUT$, in any case and with any
/// extension ("nul.txt"); no name on POSIX.
bool IsDeviceName(std::string_view fileName);

}  // namespace platform
