-- Reference database of the embedded provider (SQLite).
-- Applied by "zuninput-db init" to a new file. Each change to this file
-- raises schema_version.version (and the constant kSchemaVersion in
-- schema.h) so that a database can tell which schema it holds.
-- Text is UTF-8 in the file; date-times are "yyyy-mm-dd hh:nn:ss[.zzz]".

CREATE TABLE schema_version (
  version INTEGER NOT NULL,
  applied DATETIME NOT NULL
);

-- Logins of the database. password_hash is the salted, iterated hash
-- "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", never the password;
-- an empty hash admits the user only through integrated security.
CREATE TABLE users (
  uid           INTEGER PRIMARY KEY,
  name          TEXT    NOT NULL UNIQUE COLLATE NOCASE,
  password_hash TEXT    NOT NULL DEFAULT '',
  email         TEXT    NOT NULL DEFAULT '',
  is_admin      INTEGER NOT NULL DEFAULT 0 CHECK (is_admin IN (0, 1)),
  user_flags    INTEGER NOT NULL DEFAULT 0,
  lingua        INTEGER NOT NULL DEFAULT 0 CHECK (lingua BETWEEN 0 AND 2),
  source_do_bal INTEGER NOT NULL DEFAULT 0 CHECK (source_do_bal BETWEEN 0 AND 255),
  created       DATETIME NOT NULL
);

-- The import-file queue. conteudo holds the file's bytes unchanged; done is 1
-- once an import succeeded; result and result_mom record the latest outcome.
CREATE TABLE import_files (
  id          INTEGER PRIMARY KEY AUTOINCREMENT,
  uid         INTEGER NOT NULL REFERENCES users(uid),
  prioridade  INTEGER NOT NULL DEFAULT 5,
  mom         DATETIME NOT NULL,
  filename    TEXT NOT NULL DEFAULT '',
  importtries INTEGER NOT NULL DEFAULT 0,
  conteudo    BLOB,
  result      INTEGER,
  result_mom  DATETIME,
  done        INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX import_files_next ON import_files (done, prioridade, mom, id);

-- Login and version settings, one row per name. "CheckClientVersionV2"
-- refuses a client older than MinClientVersion.MinPatchNum.
CREATE TABLE settings (
  name  TEXT PRIMARY KEY COLLATE NOCASE,
  value TEXT NOT NULL
);
INSERT INTO settings (name, value) VALUES ('MinClientVersion', '20');
INSERT INTO settings (name, value) VALUES ('MinPatchNum', '750');

INSERT INTO schema_version (version, applied) VALUES (1, datetime('now', 'localtime'));
