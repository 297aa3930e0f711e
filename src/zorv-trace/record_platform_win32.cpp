#include "record_format.h"

namespace zorv::trace {

const char* const kThisPlatform = sizeof(void*) == 8 ? "windows-x64" : "windows-x86";

}  // namespace zorv::trace
