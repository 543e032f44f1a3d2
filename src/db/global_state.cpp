#include "db/global_state.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "db/codes.h"
#include "db/name_normaliser.h"
#include "db/object_lookups.h"
#include "db/reference_tables.h"
#include "db/reqgbol.h"
#include "db/user_context.h"
#include "foundation/log.h"
#include "foundation/safe_write.h"
#include "foundation/switches.h"
#include "toolbox/dbutil/codes.h"
#include "toolbox/dbutil/error_text.h"
#include "toolbox/dbutil/session.h"
#include "toolbox/dbutil/st_proc.h"

namespace zun {

std::unique_ptr<tIntStgList> EnumPais;
std::unique_ptr<tIntStgList> EnumPaisCod;
std::unique_ptr<tIntStgList> EnumPaisDoUsr;
std::unique_ptr<tIntStgList> EnumBaseDeDadosComercializavel;
std::unique_ptr<tIntStgList> EnumMoeda;
std::unique_ptr<tIntStgList> EnumAbrevMoeda;
std::unique_ptr<tIntStgList> EnumFmtBal;
std::unique_ptr<tIntStgList> EnumBolsa;
std::unique_ptr<tIntStgList> EnumVote;
std::unique_ptr<tIntStgList> EnumTipoObj;
std::unique_ptr<tIntStgList> EnumOcoAbrv;
std::unique_ptr<tIntStgList> EnumOcoNome;
std::unique_ptr<tIntStgList> EnumBlocoDeContaBal;
std::unique_ptr<tIntStgList> EnumClasses;
std::unique_ptr<tIntStgListMultiLng> EnumTipoAplicacao;
std::unique_ptr<tIntStgListMultiLng> EnumPfItemTipoClassificacao;
std::unique_ptr<tIntStgListMultiLng> EnumTipoDeContrato;
std::unique_ptr<tIntStgList> EnumAtivo;
std::unique_ptr<tIntStgList> EnumTipoDeBGL;
std::array<std::unique_ptr<tIntStgListMultiLng>, kNumFormatosCampo> ListasDeValores;

namespace {

// Start-ups minus shutdowns: only the first start-up and the last shutdown
// do the work.
int contador_ = 0;

// Steps along a chain of parent classes before it counts as circular.
constexpr int kMaxPassosDeMae = 50;

std::unique_ptr<tIntStgList> Lista(const char* proc) { return std::make_unique<tIntStgList>(proc); }

std::unique_ptr<tIntStgListMultiLng> ListaMultiLng(const char* proc) {
  return std::make_unique<tIntStgListMultiLng>(true, "", 0, "", CommandType::kStoredProc, proc);
}

// Switch "output": standard output appended to the named file, created
// when missing. Standard output names the queued files, their owners and
// their last lines: a new file is kept from other local users, as the log
// is. A link or anything but a regular file at the name is refused (the
// directory may be another account's), and the console stays as it was.
void RedirecionaSaida() {
  constexpr mode_t kModo = 0640;
  std::string nome;
  if (!LeSwitch("output", &nome)) return;
  std::fflush(stdout);
  int fd = -1;
  const std::string why = OpenForAppend(nome, kModo, &fd);
  if (why.empty() && ::dup2(fd, STDOUT_FILENO) >= 0) {
    ::close(fd);
    return;
  }
  const int iores = errno;
  if (fd >= 0) ::close(fd);
  Loga("output -> \"" + nome + "\" iores:" + std::to_string(iores) +
       (why.empty() ? "" : " " + why));
}

void LePathReqGBol() {
  std::string valor;
  // A switch without a value keeps the default: an empty path would mean the
  // root directory.
  if (!LeSwitch("PathReqGBol", &valor) || valor.empty()) valor = kPathReqGBolPadrao;
  if (valor.back() != '/') valor += '/';
  PathReqGBol = valor;
}

// Every list of the unit, for marking them unread and for freeing them.
void ReiniciaSeExiste(tIntStgList* l) {
  if (l != nullptr) l->Reinicia();
}

// Words of a currency name, split at blanks and parentheses.
std::string UltimaPalavra(const std::string& s) {
  std::vector<std::string> palavras;
  std::string atual;
  for (char c : s) {
    if (c == ' ' || c == '(' || c == ')') {
      if (!atual.empty()) palavras.push_back(atual);
      atual.clear();
    } else {
      atual += c;
    }
  }
  if (!atual.empty()) palavras.push_back(atual);
  return palavras.empty() ? "" : palavras.back();
}

}  // namespace

bool TemListaDeValores(int f) {
  return f == 32 || (f >= 41 && f <= 102) || (f >= 104 && f <= 141) || (f >= 146 && f <= 245);
}

void IniciaZiGlobs() {
  if (++contador_ != 1) return;
  LogaVerbose("ZiGlobs");
  RedirecionaSaida();
  LePathReqGBol();
  InstalaMsgTextHook();
  // The component object model has no counterpart on this platform.
  LogaVerbose("ZiGlobs 1");
  Db = std::make_unique<TAdoDataBaseComInfoTran>();
  Db->SetAutoReconnect(true);
  Db->SetReconnectCaption("ZunInput");
  // The look-ups: after a lost link they are repeated even when the server
  // may have run them, as repeating them changes nothing.
  for (const char* proc :
       {"GetInfoDoUsuario", "GetIdAnb", "GetTipoDeBGLDaAnb", "GetTotalAnbDessaBolsaTBGL",
        "GetRegistroCodCVMparaAnbima", "GetBaseAcDaEmp", "BufPorPaisGet", "GetTodosDefIndicador",
        "RegraDeFormatoDeCadastroList"}) {
    Db->RegistraSomenteLeitura(proc);
  }
  LogaVerbose("ZiGlobs 2");
  EnumPais = Lista("EnumPais");
  EnumPaisCod = Lista("EnumPaisCod");
  EnumPaisDoUsr = Lista("EnumPaisDoUsr");
  EnumBaseDeDadosComercializavel = Lista("EnumBaseDeDadosComercializavel");
  EnumMoeda = Lista("EnumMoeda");
  EnumAbrevMoeda = Lista("EnumAbrevMoeda");
  EnumFmtBal = Lista("EnumFmtBal");
  EnumBolsa = Lista("EnumBolsa");
  EnumVote = Lista("EnumVote");
  EnumTipoObj = Lista("EnumTipoObj");
  EnumOcoAbrv = Lista("EnumOcoAbrv");
  EnumOcoNome = Lista("EnumOcoNome");
  EnumBlocoDeContaBal = Lista("EnumBlocoDeContaBal");
  EnumClasses = Lista("EnumClasses");
  EnumTipoAplicacao = ListaMultiLng("EnumTipoAplicacao");
  EnumPfItemTipoClassificacao = ListaMultiLng("EnumPfItemTipoClassificacao");
  EnumTipoDeContrato = ListaMultiLng("EnumTipoDeContrato");
  EnumAtivo = std::make_unique<tIntStgList>("");
  EnumTipoDeBGL = std::make_unique<tIntStgList>("");
  for (int f = 0; f < kNumFormatosCampo; ++f) {
    if (TemListaDeValores(f)) {
      ListasDeValores[static_cast<size_t>(f)] = std::make_unique<tIntStgListMultiLng>(
          false, "AddItemCampoListaValores", f, "@formatocampo", CommandType::kStoredProc,
          "GetCampoListaDeValores");
    }
  }
  LogaVerbose("ZiGlobs 3");
  EnumAtivo->AdicionaLocal(0, "Active", 0);
  EnumAtivo->AdicionaLocal(1, "Inactive", 0);
  LogaVerbose("ZiGlobs 4");
  for (int id = 0; id <= 11; ++id)
    EnumTipoDeBGL->AdicionaLocal(id, NomeDoTipoDeBGL(id), id <= 5 ? 0 : 1);
  LogaVerbose("ZiGlobs 5");
  DbgDifChecagemBal = TemSwitch("DbgDifChecagemBal");
  LogaVerbose("ZiGlobs end");
}

void EncerraZiGlobs(int32_t* run_error_code) {
  if (contador_ == 0 || --contador_ != 0) return;
  LogaVerbose("*ZiGlobs 0");
  LogaVerbose("*ZiGlobs 0.1");
  if (*run_error_code == 0 && !ReqGBolPendente.empty()) {
    const std::string texto = "[ZiGlobs.fini " + ReqGBolPendente + "]";
    if (Db == nullptr || !Db->Connected()) {
      *run_error_code = kErrReqGBolSemDb;
    } else {
      *run_error_code = ReqGBol(texto);
    }
    LogaConsole("- ZiGlobs Fini ReqGBol erro:" + std::to_string(*run_error_code) +
                " requester:" + texto);
    ReqGBolPendente.clear();
  }
  LogaVerbose("*ZiGlobs 0.2");
  for (auto* l :
       {&EnumPais, &EnumPaisCod, &EnumPaisDoUsr, &EnumBaseDeDadosComercializavel, &EnumMoeda,
        &EnumAbrevMoeda, &EnumFmtBal, &EnumBolsa, &EnumVote, &EnumTipoObj, &EnumOcoAbrv,
        &EnumOcoNome, &EnumBlocoDeContaBal, &EnumClasses, &EnumAtivo, &EnumTipoDeBGL}) {
    l->reset();
  }
  EnumTipoAplicacao.reset();
  EnumPfItemTipoClassificacao.reset();
  EnumTipoDeContrato.reset();
  for (auto& l : ListasDeValores) l.reset();
  LogaVerbose("*ZiGlobs 0.2.1");
  if (DefIndicadoresHooks.Libera) DefIndicadoresHooks.Libera();
  LiberaCacheEmpPais();
  LiberaNormalizadorDeNomes();
  LogaVerbose("*ZiGlobs 0.3");
  LogaVerbose("*ZiGlobs 2");
  Db.reset();
  LogaVerbose("*ZiGlobs 3.1 Appl=nil?Y");
  LogaVerbose("*ZiGlobs 3.2");
  sched_yield();
  LogaVerbose("*ZiGlobs 3.3");
  LogaVerbose("*ZiGlobs 4");
  LogaVerbose("*ZiGlobs end");
  LimpaContextoDoUsuario();
}

int32_t TestaEnumPaisCod(tIntStgList* lista) {
  const int n = lista->Conta();
  for (int i = 0; i < n; ++i) {
    const IntStgItem* it = lista->ItemEm(i);
    bool achou = false;
    const int32_t id = PaisCodToId(it->Texto, &achou);
    if (!achou || id != it->Id) {
      Loga("- TestaEnumPaisCod error s:" + it->Texto + " e:" + std::to_string(it->Id));
      return kErrEnumPaisCod;
    }
  }
  return 0;
}

int32_t TestaEnumMoeda(tIntStgList* lista) {
  const int n = lista->Conta();
  for (int i = 0; i < n; ++i) {
    const IntStgItem* it = lista->ItemEm(i);
    int32_t e = 0;
    std::string avisos;
    if (it->Id < 0 || it->Id >= kNumMoedas) {
      e = kErrEnumMoeda;
    } else {
      const MoedaDaTabela& m = MoedaDoId(it->Id);
      if (m.pais != it->Campo2) avisos += " PaisDaMoeda:" + std::to_string(m.pais);
      if (UltimaPalavra(it->Texto) != m.simbolo) {
        avisos += std::string(" SimboloDaMoeda:") + m.simbolo;
      }
    }
    if (e != 0 || !avisos.empty()) {
      Loga("- TestaEnumMoeda error/warning s:" + it->Texto + " e:" + std::to_string(it->Id) +
           " pais:" + std::to_string(it->Campo2) + " erro:" + std::to_string(e) + " " + avisos);
    }
    if (e != 0) return e;
  }
  return 0;
}

void TestaClasses(tIntStgList* lista) {
  const int n = lista->Conta();
  for (int i = 0; i < n; ++i) {
    const int32_t mae_id = lista->ItemEm(i)->Campo3;
    if (mae_id == 0) continue;
    IntStgItem* mae = lista->ItemDoId(mae_id);
    if (mae == nullptr) {
      Loga("Warning: Class #" + std::to_string(i) + " filha de " + std::to_string(mae_id) +
           " nao existe!");
      continue;
    }
    mae->Marca |= 1;
    // Follows the chain of parents; an item still found after the last
    // step means the chain loops.
    const IntStgItem* passo = mae;
    for (int k = 0; k < kMaxPassosDeMae && passo != nullptr; ++k) {
      passo = passo->Campo3 == 0 ? nullptr : lista->ItemDoId(passo->Campo3);
    }
    if (passo != nullptr) {
      Loga("Warning: Class #" + std::to_string(i) + " tem circular reference de maes");
    }
  }
}

int32_t CarregaAcionistasEspeciais() {
  struct Especial {
    int32_t id;
    const char* nome;
  };
  static const Especial kEspeciais[] = {
      {NacTotal, "NacTotal"}, {NacBase, "NacBase"}, {NacFreeFloat, "NacFreeFloat"}};
  for (const Especial& s : kEspeciais) {
    const int32_t e = ChamaComGuarda("AcionistaGet", "CarregaAcionistasEspeciais", kErrChamada,
                                     [&](DsRef cmd, int32_t* code) {
                                       *code = ExecStProcId(cmd, s.id, ModoStProc::kExecutaEAbre);
                                       if (*code != 0) return;
                                       // The record must be there and be this party.
                                       if (!cmd->Active() || cmd->Current().Eof()) {
                                         *code = kErrRegistroNaoAchado;
                                       } else {
                                         cmd->Current().First();
                                         const Value& id = cmd->Current().FieldByName("id");
                                         if (id.IsNull() || id.AsInt() != s.id)
                                           *code = kErrRegistroNaoAchado;
                                       }
                                     });
    if (e != 0) {
      Loga(std::string("NU.CENT: nao achei acionista ") + s.nome + " erro:" + std::to_string(e));
      Loga("NU.CENT error:" + std::to_string(e));
      return e;
    }
  }
  return 0;
}

int32_t LeDadosIniciais(const TProgressoLeDados& progresso) {
  auto mostra = [&](const std::string& linha) {
    if (progresso) progresso(linha);
  };
  mostra("Reading initial data");
  if (Db == nullptr || !Db->Connected()) return kErrSemDb;
  mostra("- countries");
  ReiniciaSeExiste(EnumPais.get());
  ReiniciaSeExiste(EnumPaisCod.get());
  ReiniciaSeExiste(EnumPaisDoUsr.get());
  mostra("- databases");
  ReiniciaSeExiste(EnumBaseDeDadosComercializavel.get());
  ReiniciaSeExiste(EnumTipoAplicacao.get());
  ReiniciaSeExiste(EnumPfItemTipoClassificacao.get());
  mostra("- names");
  for (auto& l : ListasDeValores) ReiniciaSeExiste(l.get());
  mostra("- currencies");
  ReiniciaSeExiste(EnumMoeda.get());
  ReiniciaSeExiste(EnumAbrevMoeda.get());
  mostra("- FS templates");
  ReiniciaSeExiste(EnumFmtBal.get());
  mostra("- exchanges");
  ReiniciaSeExiste(EnumBolsa.get());
  mostra("- voting status");
  ReiniciaSeExiste(EnumVote.get());
  mostra("- types of asset");
  ReiniciaSeExiste(EnumTipoObj.get());
  ReiniciaSeExiste(EnumTipoDeContrato.get());
  mostra("- CA abbreviations");
  ReiniciaSeExiste(EnumOcoAbrv.get());
  mostra("\n- CA names");
  ReiniciaSeExiste(EnumOcoNome.get());
  mostra("- FS blocks");
  ReiniciaSeExiste(EnumBlocoDeContaBal.get());
  mostra("\t- classes");
  ReiniciaSeExiste(EnumClasses.get());
  if (EnumClasses != nullptr) TestaClasses(EnumClasses.get());
  mostra("- def indicadores");
  if (DefIndicadoresHooks.Recria) DefIndicadoresHooks.Recria();
  mostra("- checking consistency");
  if (const int32_t e = TestaEnumPaisCod(EnumPaisCod.get()); e != 0) return e;
  if (const int32_t e = TestaEnumMoeda(EnumMoeda.get()); e != 0) return e;
  if (!EnumTipoObj->TemMarcaF3M(0, "RDbD")) return kErrTipoObjSemMarca;
  return CarregaAcionistasEspeciais();
}

}  // namespace zun
