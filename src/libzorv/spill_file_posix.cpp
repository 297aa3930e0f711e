#include <cstdio>

#include "spill_file.h"

namespace zorv::lib {

// tmpfile() creates the file under P_tmpdir (TMPDIR is not consulted by
// glibc) and unlinks it at once, so nothing is left behind even on a kill.
std::FILE* openAnonymousTemporaryFile() { return std::tmpfile(); }

}  // namespace zorv::lib
