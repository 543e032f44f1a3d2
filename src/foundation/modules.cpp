#include "foundation/modules.h"

#include <langinfo.h>
#include <locale.h>

#include <memory>

#include "foundation/log.h"
#include "foundation/momento.h"
#include "foundation/switches.h"

namespace zun {
namespace {

std::unique_ptr<TCallBackList> callbacks;
std::unique_ptr<TRelozios> dbg_speed;
char list_separator = ';';

// The user's locale decimal separator, read without changing the process
// locale: number conversions of the program always use ".".
char UserDecimalSeparator() {
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  const char sep = radix != nullptr && radix[0] != '\0' ? radix[0] : '.';
  freelocale(loc);
  return sep;
}

void IniciaBasic2() {
  LogaVerbose("Basic2");
  callbacks = std::make_unique<TCallBackList>();
  // POSIX locales define no list separator.
  list_separator = EscolheSeparadorDeLista('\0', UserDecimalSeparator());
  callbacks->ChamaTodos("B2.GFS");
}

void EncerraBasic2() {
  LogaVerbose("*Basic2");
  LogaVerbose("*Basic2.MyExit");
  callbacks.reset();
  LogaVerbose("*Basic2.MyExit end");
  RodaTodasAsExitProcs();
  LogaVerbose("*Basic2 end");
}

void IniciaRelozinh() {
  LogaVerbose("Relozinh");
  if (!TemSwitch("DbgSpeed")) return;
  dbg_speed = std::make_unique<TRelozios>("DbgSpeed");
  static const char* const kNames[] = {"B.Get", "V.Get", "V.EPelaPos", "V.FLMem", "V.PegaE"};
  for (int i = 0; i < 5; ++i) dbg_speed->Nomeia(i + 1, kNames[i]);
}

void EncerraRelozinh() {
  LogaVerbose("*Relozinh");
  dbg_speed.reset();
}

}  // namespace

void IniciaFundacao() {
  MyInic("");
  IniciaMomento();
  IniciaBasic2();
  IniciaRelozinh();
}

void EncerraFundacao() {
  EncerraRelozinh();
  EncerraBasic2();
  FimDoLog();
}

TCallBackList* CallbacksGlobais() { return callbacks.get(); }

TRelozios* DbgSpeed() { return dbg_speed.get(); }

char SeparadorDeLista() { return list_separator; }

char EscolheSeparadorDeLista(char list_sep, char decimal_sep) {
  char sep = list_sep == '\0' ? ';' : list_sep;
  if (sep == decimal_sep) sep = sep == ';' ? '|' : ';';
  return sep;
}

}  // namespace zun
