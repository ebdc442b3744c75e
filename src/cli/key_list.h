#pragma once
// The settings keys for the shell's completion: one a line, a numbered key
// followed by its lowest and highest value ("DateMode 1 3"), a text key alone.

#include <cstdio>

namespace ravlen {

void PrintKeyList(std::FILE* out);

}  // namespace ravlen
