#include "secret_text.h"

namespace zorv::lib {

void wipeMemory(void* data, size_t bytes) noexcept {
  // Stores through a volatile pointer are observable: none may be dropped.
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (size_t i = 0; i < bytes; ++i) p[i] = 0;
}

}  // namespace zorv::lib
