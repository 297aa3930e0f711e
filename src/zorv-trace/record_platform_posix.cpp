#include "record_format.h"

namespace zorv::trace {

const char* const kThisPlatform = sizeof(void*) == 8 ? "linux-x64" : "linux-x86";

}  // namespace zorv::trace
