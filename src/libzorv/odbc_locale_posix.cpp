#include <clocale>
#include <cstring>
#include <locale.h>
#include <string>

#include "odbc_locale.h"

namespace zorv::lib {

struct ScopedUtf8Locale::State {
  locale_t utf8 = nullptr;
  locale_t previous = nullptr;
  std::string processCtype;
};

ScopedUtf8Locale::ScopedUtf8Locale() : state_(std::make_unique<State>()) {
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  state_->processCtype = current != nullptr ? current : "C";
  state_->utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (state_->utf8 != nullptr) state_->previous = uselocale(state_->utf8);
}

ScopedUtf8Locale::~ScopedUtf8Locale() {
  if (state_->utf8 != nullptr) {
    uselocale(state_->previous);
    freelocale(state_->utf8);
  }
  // A driver that set the process's locale while connecting gets it undone.
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  if (current == nullptr || state_->processCtype != current) {
    std::setlocale(LC_CTYPE, state_->processCtype.c_str());
  }
}

bool narrowTextIsStoredUtf8() { return true; }

}  // namespace zorv::lib
