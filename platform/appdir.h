#pragma once
#include <string>

// The folder of the executable, with a trailing '/'. Settings, language files and
// the user database all live there. Tests point it at a temporary folder.
std::string ProgramDir();
void SetProgramDir(const std::string& dir);
