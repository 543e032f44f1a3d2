// The context of the database user the session works as: filled by the
// login after connecting and again after each switch of user, read by the
// multilingual lists (UsuarioLingua), the object writes (the right
// predicates) and the queue step (UsuarioUid, UsuarioEmail).
//
// Thread-safety: process-wide globals of the main thread; not locked.
#pragma once

#include <cstdint>
#include <string>

namespace zun {

inline int32_t UsuarioUid = 0;
inline std::string UsuarioNome;
inline std::string UsuarioEmail;
inline bool UsuarioIsAdmin = false;
inline uint8_t UsuarioSourceDoBal = 0;
inline int32_t UsuarioFlags = 0;
// 0 Portuguese, 1 English, 2 Spanish: picks the text of multilingual lists.
inline int32_t UsuarioLingua = 0;

// Empties the user context (before each fill).
inline void LimpaContextoDoUsuario() {
  UsuarioUid = 0;
  UsuarioNome.clear();
  UsuarioEmail.clear();
  UsuarioIsAdmin = false;
  UsuarioSourceDoBal = 0;
  UsuarioFlags = 0;
  UsuarioLingua = 0;
}

// The user's rights: an administrator has all of them.
inline bool PodeAlterarPaisDaEmp() { return UsuarioIsAdmin || (UsuarioFlags & 4) != 0; }
inline bool PodeSourceDiferenteDeLocal() { return UsuarioIsAdmin || UsuarioSourceDoBal != 0; }
inline bool PodeMudarEmpDoAtv() { return UsuarioIsAdmin; }
inline bool PodeClasseEstrangeira() { return UsuarioIsAdmin || (UsuarioFlags & 2) != 0; }
inline bool PodeTodosOsTiposDeBGL() { return UsuarioIsAdmin || (UsuarioFlags & 1) != 0; }
inline bool PodeMudarAtvDoAnb() { return UsuarioIsAdmin; }
inline bool PodeMarcarTrazDadosDaEmp() { return UsuarioIsAdmin; }
inline bool PodeAlterarCalendario() { return UsuarioIsAdmin; }

}  // namespace zun
