#include "foundation/sequencer.h"

#include <system_error>

#include "foundation/log.h"

namespace zun {

bool TCriticalSection::Locka() {
  try {
    mutex_.lock();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void Locka(TSequencializadorDeAcesso* s) {
  if (!s->Locka()) RunError250("Mutex.Locka " + s->Nome());
}

}  // namespace zun
