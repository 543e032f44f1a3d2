// Files the service writes in directories that other accounts may write
// too (the run's summary beside a node exporter's files, the file standard
// output is appended to). Nothing planted at a name the service uses is
// followed: a link there is never opened through, a named pipe never
// blocks the writer, and two writers of the same file never meet in a
// temporary file.
//
// Thread-safety: no shared state but an atomic counter; safe from any
// thread and any number of processes.
#pragma once

#include <sys/types.h>

#include <string>

namespace zun {

// Replaces the file at path with text, whole: text goes to a new temporary
// file of a unique name in path's directory (created with O_EXCL and
// O_NOFOLLOW, mode as given less the umask), which is then renamed over
// path. A reader sees the old file or the new one, never part of one; a
// link at path is replaced, never followed. Returns "" on success, else
// why (the name and the system's message); the temporary is then removed
// and path left as it was.
std::string ReplaceFileWhole(const std::string& path, const std::string& text, mode_t mode);

// As ReplaceFileWhole, but the file gets exactly mode, whatever the umask,
// and the group group unless it is (gid_t)-1 (the process must be allowed
// to give it: a member of the group, or root); a group that cannot be
// given fails the write like any other step.
std::string ReplaceFileWholeAs(const std::string& path, const std::string& text, mode_t mode,
                               gid_t group);

// Opens path for appending, created with mode (less the umask) when
// missing, never through a link and never blocking on a named pipe: *fd
// is the open descriptor (close-on-exec), or -1. Returns "" on success,
// else why: it cannot be opened (a link at path among the reasons) or is
// not a regular file.
std::string OpenForAppend(const std::string& path, mode_t mode, int* fd);

}  // namespace zun
