#pragma once
// Where the program's own files live. The install folder is QEL_HOME when set,
// else the folder of the executable; temporary conversion files go to its
// Temp/ sub-folder.
#include <filesystem>

namespace qel {

std::filesystem::path InstallDir();
std::filesystem::path TempDir();  // InstallDir()/Temp, created on first use, owner-only (0700)

// Tests and the program may fix the install folder explicitly.
void SetInstallDir(const std::filesystem::path& dir);

}  // namespace qel
