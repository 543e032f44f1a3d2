-- Reference database of the embedded provider (SQLite).
-- Applied by "zuninput-db init" to a new file. Each change to this file
-- raises schema_version.version (and the constant kSchemaVersion in
-- reference_db.h) so that a database can tell which schema it holds.
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
-- taken_until (GMT) is set while a service process works on the entry, so
-- that no other process takes it meanwhile; the process renews it while it
-- imports, the outcome clears it, and a process that died leaves it to
-- expire. lease counts the hand-outs: only the latest taker may renew the
-- entry or record its outcome.
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
  done        INTEGER NOT NULL DEFAULT 0,
  taken_until DATETIME,
  lease       INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX import_files_next ON import_files (done, prioridade, mom, id);
-- Where the import pass of a handed-out entry stands: written by
-- "ImportFilesMarca" in the transaction that commits the lines before
-- linha, with the errors (first code, count), the bulletin priority and
-- requests those lines gave, the records applied and skipped and the line
-- messages so far; the next try goes on from there. lease is the entry's
-- latest hand-out (only its holder writes here), desde the linha it was
-- handed out at and mortes how many hand-outs in a row died without
-- committing lines (a dead process's entry whose linha grew since, or with
-- few such deaths, is resumed without a try). The outcome
-- deletes the row. A table of its own: a write to the queue's row would
-- rewrite the stored file with it.
-- "ImportFilesNext" makes it, or adds the columns from desde on, in a
-- database made before them (kTabelaDeRetomada in import_files.cpp: keep
-- both equal).
CREATE TABLE IF NOT EXISTS import_files_retoma (id INTEGER PRIMARY KEY REFERENCES import_files(id) ON DELETE CASCADE, lease INTEGER NOT NULL, linha INTEGER, erro INTEGER, erros INTEGER, gbol INTEGER, pedido TEXT, desde INTEGER, mortes INTEGER, aplicadas INTEGER, puladas INTEGER, mensagens TEXT);
-- The line messages of an entry's tries, as "ImportFilesErros" stored
-- them: importtry is the try (the entry's importtries then), code the code
-- the line's record failed with (0: a note), reason that code's reason,
-- linetext the line itself; a line 0 counts the messages a try did not keep.
-- They go with the entry. "ImportFilesErros" adds the last four columns to
-- a database made before them (kColunasDeErros in import_files.cpp).
CREATE TABLE import_file_errors (
  id        INTEGER NOT NULL REFERENCES import_files(id) ON DELETE CASCADE,
  line      INTEGER NOT NULL,
  msg       TEXT    NOT NULL,
  importtry INTEGER NOT NULL DEFAULT 0,
  code      INTEGER NOT NULL DEFAULT 0,
  reason    TEXT NOT NULL DEFAULT '',
  linetext  TEXT NOT NULL DEFAULT ''
);
CREATE INDEX import_file_errors_id ON import_file_errors (id);
-- The entries "ImportFilesNext" counts as inconsistent on every call; the
-- index holds only those (normally none), so the count does not read the
-- whole queue with its history. Its WHERE clause is the count's, word for
-- word: the planner uses a partial index only for a query that repeats it.
CREATE INDEX import_files_menos_um ON import_files (id)
  WHERE (done = 1 AND (result IS NULL OR result <> 0)) OR importtries < 0;

-- Login and version settings, one row per name. "CheckClientVersionV2"
-- refuses a client older than MinClientVersion.MinPatchNum.
CREATE TABLE settings (
  name  TEXT PRIMARY KEY COLLATE NOCASE,
  value TEXT NOT NULL
);
INSERT INTO settings (name, value) VALUES ('MinClientVersion', '20');
INSERT INTO settings (name, value) VALUES ('MinPatchNum', '750');

-- Reference data read by the service at login (the global enumerations).
-- The country codes (two-letter, as the program's table has them; ids
-- without a code store their number) and the currencies (name ending in
-- the symbol) must agree with the program's own tables, which the login
-- checks. Asset type 0 must be marked (marca <> 0).
CREATE TABLE pais (
  id    INTEGER PRIMARY KEY CHECK (id BETWEEN 0 AND 79),
  cod   TEXT NOT NULL,
  cod3  TEXT NOT NULL,
  nome  TEXT NOT NULL
);
CREATE TABLE usuario_pais (
  uid   INTEGER NOT NULL REFERENCES users(uid),
  pais  INTEGER NOT NULL REFERENCES pais(id),
  PRIMARY KEY (uid, pais)
);
CREATE TABLE moeda (
  id    INTEGER PRIMARY KEY,
  cod   TEXT NOT NULL,
  pais  INTEGER NOT NULL,
  nome  TEXT NOT NULL
);
CREATE TABLE base_comercializavel (id INTEGER PRIMARY KEY, nome TEXT NOT NULL);
CREATE TABLE fmt_bal (id INTEGER PRIMARY KEY CHECK (id >= 1), nome TEXT NOT NULL, pais INTEGER NOT NULL DEFAULT 9);
CREATE TABLE bolsa (
  id           INTEGER PRIMARY KEY,
  pais         INTEGER NOT NULL,
  cod          TEXT NOT NULL,
  codiso10383  TEXT NOT NULL DEFAULT ''
);
CREATE TABLE vote_stat (id INTEGER PRIMARY KEY, cod TEXT NOT NULL);
-- marca: the types the program treats apart (column 3 of "EnumTipoObj").
CREATE TABLE tipo_obj (
  id    INTEGER PRIMARY KEY,
  nome  TEXT NOT NULL,
  marca INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE oco_tipo (
  id    INTEGER PRIMARY KEY,
  seq   INTEGER NOT NULL DEFAULT 0,
  abrv  TEXT NOT NULL,
  nome  TEXT NOT NULL,
  loca  INTEGER NOT NULL DEFAULT 0,
  lb1   TEXT NOT NULL DEFAULT '',
  lb2   TEXT NOT NULL DEFAULT ''
);
CREATE TABLE bloco_conta_bal (id INTEGER PRIMARY KEY, nome TEXT NOT NULL);
-- mae: the parent class, 0 for none. cod: the code import files name the
-- class by ('' for none); estrangeira: a foreign class, whose assets only
-- users with the foreign-class right may create.
CREATE TABLE classe (
  id          INTEGER PRIMARY KEY,
  nome        TEXT NOT NULL,
  mae         INTEGER NOT NULL DEFAULT 0,
  cod         TEXT NOT NULL DEFAULT '',
  estrangeira INTEGER NOT NULL DEFAULT 0 CHECK (estrangeira IN (0, 1))
);
-- Multilingual lists: nome is "Portuguese|English|Spanish".
CREATE TABLE tipo_aplicacao (id INTEGER PRIMARY KEY, nome TEXT NOT NULL);
CREATE TABLE pf_item_tipo_classificacao (id INTEGER PRIMARY KEY, nome TEXT NOT NULL);
CREATE TABLE tipo_de_contrato (id INTEGER PRIMARY KEY, nome TEXT NOT NULL);
-- The choice lists of the indicator field formats; id_doc is the item's
-- document code (column 5 of "GetCampoListaDeValores").
CREATE TABLE campo_lista_valores (
  formatocampo INTEGER NOT NULL,
  id           INTEGER NOT NULL,
  id_doc       TEXT NOT NULL DEFAULT '',
  nome_pt      TEXT NOT NULL DEFAULT '',
  nome_en      TEXT NOT NULL DEFAULT '',
  nome_es      TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (formatocampo, id)
);
-- Parties (shareholders and portfolio holders) and their documents; the
-- special parties 2147483647 (total), 2147483646 (base) and 2147483645
-- (free float) must exist.
CREATE TABLE acionista (
  id            INTEGER PRIMARY KEY,
  pais          INTEGER NOT NULL DEFAULT 9,
  nome          TEXT NOT NULL,
  doc           TEXT NOT NULL DEFAULT '',
  eh_acionista  INTEGER NOT NULL DEFAULT 1,
  eh_aplicacao  INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE acionista_doc (
  id      INTEGER NOT NULL REFERENCES acionista(id),
  docpais INTEGER NOT NULL,
  doc_id  TEXT NOT NULL,
  PRIMARY KEY (id, docpais, doc_id)
);
-- A document names one party in its country. doc_id is kept upper case
-- with letters and digits only, except a provisional document (one holding
-- "-PROVIS"), which is kept upper case as written.
CREATE UNIQUE INDEX acionista_doc_unico ON acionista_doc (docpais, doc_id);
-- The names of a party besides its main name (acionista.nome).
CREATE TABLE acionista_nome (
  id   INTEGER NOT NULL REFERENCES acionista(id),
  nome TEXT NOT NULL,
  PRIMARY KEY (id, nome)
);
-- The documents as the client's document cache reads them.
CREATE VIEW AcionistaDoc AS SELECT docpais, doc_id, id AS aci FROM acionista_doc;
-- Securities in three levels: companies, their assets (one per share
-- class of the company) and the series of an asset (one per exchange and
-- ticker). Codes compare without regard to ASCII letter case. -1 means
-- "none" for currencies, the contract type and, on input, the country of
-- a series' code (then the company's country is stored). A statement
-- format 0 means none chosen ("DefineFormatoBalDaEmpSeNulo" sets it then):
-- no format has the id 0.
CREATE TABLE empresa (
  id                 INTEGER PRIMARY KEY,
  cod                TEXT NOT NULL CHECK (cod <> ''),
  pais               INTEGER NOT NULL REFERENCES pais(id),
  cnpj               TEXT NOT NULL DEFAULT '',
  nome               TEXT NOT NULL DEFAULT '',
  moedabal_local     INTEGER NOT NULL DEFAULT -1,
  moedabal_sec       INTEGER NOT NULL DEFAULT -1,
  fmtbal             INTEGER NOT NULL DEFAULT 0,
  fmtbal1            INTEGER NOT NULL DEFAULT 0,
  fmtbal2            INTEGER NOT NULL DEFAULT 0,
  fmtbal3            INTEGER NOT NULL DEFAULT 0,
  naics              INTEGER NOT NULL DEFAULT 0,
  moeda_informe_fidc INTEGER NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX empresa_pais_cod ON empresa (pais, cod COLLATE NOCASE);
CREATE TABLE ativo (
  id      INTEGER PRIMARY KEY,
  emp     INTEGER NOT NULL REFERENCES empresa(id),
  idclass INTEGER NOT NULL REFERENCES classe(id),
  vote    INTEGER NOT NULL REFERENCES vote_stat(id),
  tipoobj INTEGER NOT NULL REFERENCES tipo_obj(id),
  UNIQUE (emp, idclass)
);
CREATE TABLE anb (
  id                            INTEGER PRIMARY KEY,
  acao                          INTEGER NOT NULL REFERENCES ativo(id),
  cod                           TEXT NOT NULL CHECK (cod <> ''),
  bolsa                         INTEGER NOT NULL REFERENCES bolsa(id),
  tipo_de_bgl_destino           INTEGER NOT NULL DEFAULT 0 CHECK (tipo_de_bgl_destino BETWEEN 0 AND 11),
  moedacot                      INTEGER NOT NULL DEFAULT -1,
  pais_pro_cod_zun              INTEGER NOT NULL DEFAULT -1,
  formato_de_cadastro           INTEGER NOT NULL DEFAULT 0,
  cancelado                     INTEGER NOT NULL DEFAULT 0 CHECK (cancelado IN (0, 1)),
  traz_dados_da_emp             INTEGER NOT NULL DEFAULT 0 CHECK (traz_dados_da_emp IN (0, 1)),
  nao_aparecer_no_zun           INTEGER NOT NULL DEFAULT 0 CHECK (nao_aparecer_no_zun IN (0, 1)),
  serie_montada                 INTEGER NOT NULL DEFAULT 0 CHECK (serie_montada IN (0, 1)),
  id_calendario                 INTEGER NOT NULL DEFAULT 0,
  disable_copy                  INTEGER NOT NULL DEFAULT 0,
  tipo_de_contrato              INTEGER NOT NULL DEFAULT -1,
  mapa_colonia                  INTEGER NOT NULL DEFAULT 0,
  override_grupos_campo_cotacao INTEGER NOT NULL DEFAULT 0,
  isin                          TEXT NOT NULL DEFAULT ''
);
CREATE UNIQUE INDEX anb_bolsa_cod ON anb (bolsa, cod COLLATE NOCASE);
CREATE INDEX anb_acao ON anb (acao);
-- The assets of every company, one row each (read as SQL text by the
-- share-base import).
CREATE VIEW ObjListRoot AS
  SELECT id AS AtvId, emp AS EmpId, idclass AS AtvIdClass, tipoobj AS AtvTipoObj FROM ativo;
-- Provisional codes ("...-provis") given to securities before their
-- registration, and the registered code and ids they stand for.
CREATE TABLE registro_cod_provis (
  cod_provis TEXT PRIMARY KEY COLLATE NOCASE,
  cod_anbima TEXT NOT NULL,
  idemp      INTEGER NOT NULL DEFAULT 0,
  idanb      INTEGER NOT NULL DEFAULT 0
);

-- Corporate actions ("PrvImport"): one row per series, ex-date, type and
-- sequence number. moeda is the currency of valor; acoes and valor may be
-- NULL (not given); the six factors adjust quotes (cot), securities (tit)
-- and share counts (qac) as value * a + b.
CREATE TABLE provento (
  anb    INTEGER NOT NULL REFERENCES anb(id),
  udex   DATETIME NOT NULL,
  tipo   INTEGER NOT NULL REFERENCES oco_tipo(id),
  seq    INTEGER NOT NULL CHECK (seq >= 0),
  moeda  INTEGER NOT NULL REFERENCES moeda(id),
  loca   INTEGER NOT NULL DEFAULT 0,
  acoes  REAL,
  valor  REAL,
  cot_a  REAL NOT NULL DEFAULT 1,
  cot_b  REAL NOT NULL DEFAULT 0,
  tit_a  REAL NOT NULL DEFAULT 1,
  tit_b  REAL NOT NULL DEFAULT 0,
  qac_a  REAL NOT NULL DEFAULT 1,
  qac_b  REAL NOT NULL DEFAULT 0,
  PRIMARY KEY (anb, udex, tipo, seq)
);
-- News of a company ("NwsImport"): one text per company, publication date
-- and sequence number; dra is an optional further date.
CREATE TABLE noticia (
  emp  INTEGER NOT NULL REFERENCES empresa(id),
  date DATETIME NOT NULL,
  seq  INTEGER NOT NULL CHECK (seq >= 0),
  dra  DATETIME,
  txt  TEXT NOT NULL CHECK (txt <> ''),
  PRIMARY KEY (emp, date, seq)
);

-- The database's data log, and the quote bulletin requests ("ReqGBol");
-- "GetReqGBol" hands out the pending ones (served = 1).
CREATE TABLE data_log (
  id        INTEGER PRIMARY KEY AUTOINCREMENT,
  tip       INTEGER NOT NULL,
  oid       INTEGER NOT NULL,
  aux       INTEGER NOT NULL,
  date      DATETIME,
  txt       TEXT,
  user_name TEXT NOT NULL DEFAULT '',
  mom       DATETIME NOT NULL
);
CREATE TABLE reqgbol (
  id         INTEGER PRIMARY KEY AUTOINCREMENT,
  prioridade INTEGER NOT NULL,
  motivo     TEXT NOT NULL DEFAULT '',
  user_name  TEXT NOT NULL DEFAULT '',
  mom        DATETIME NOT NULL,
  served     INTEGER NOT NULL DEFAULT 0
);

INSERT INTO pais (id, cod, cod3, nome) VALUES
  (0, 'BR', 'BRA', 'Brazil'),
  (1, 'US', 'USA', 'United States'),
  (2, 'AR', 'ARG', 'Argentina'),
  (3, 'MX', 'MEX', 'Mexico'),
  (4, 'CL', 'CHL', 'Chile'),
  (5, 'VE', 'VEN', 'Venezuela'),
  (6, 'JP', 'JPN', 'Japan'),
  (7, 'UK', 'GBR', 'United Kingdom'),
  (8, 'DE', 'DEU', 'Germany'),
  (9, 'NN', 'NNN', 'No country'),
  (10, 'CO', 'COL', 'Colombia'),
  (11, 'PE', 'PER', 'Peru'),
  (12, 'EC', 'ECU', 'Ecuador'),
  (13, 'PT', 'PRT', 'Portugal'),
  (14, 'ES', 'ESP', 'Spain'),
  (15, 'BO', 'BOL', 'Bolivia'),
  (16, 'PH', 'PHL', 'Philippines'),
  (17, 'GR', 'GRC', 'Greece'),
  (18, 'CN', 'CHN', 'China'),
  (19, 'ID', 'IDN', 'Indonesia'),
  (20, 'MY', 'MYS', 'Malaysia'),
  (21, 'SG', 'SGP', 'Singapore'),
  (22, 'TH', 'THA', 'Thailand'),
  (23, 'TW', 'TWN', 'Taiwan'),
  (24, 'HK', 'HKG', 'Hong Kong'),
  (25, 'KR', 'KOR', 'South Korea'),
  (26, 'CA', 'CAN', 'Canada'),
  (27, 'AU', 'AUS', 'Australia'),
  (28, 'FR', 'FRA', 'France'),
  (29, 'IT', 'ITA', 'Italy'),
  (30, 'CH', 'CHE', 'Switzerland'),
  (31, 'OT', 'OTH', 'Other'),
  (32, 'AE', 'ARE', 'United Arab Emirates'),
  (33, 'AN', 'ANT', 'Netherlands Antilles'),
  (34, 'AT', 'AUT', 'Austria'),
  (35, 'BB', 'BRB', 'Barbados'),
  (36, 'BE', 'BEL', 'Belgium'),
  (37, 'BM', 'BMU', 'Bermuda'),
  (38, 'BS', 'BHS', 'Bahamas'),
  (39, 'DK', 'DNK', 'Denmark'),
  (40, 'FI', 'FIN', 'Finland'),
  (41, 'IL', 'ISR', 'Israel'),
  (42, 'IN', 'IND', 'India'),
  (43, 'KY', 'CYM', 'Cayman Islands'),
  (44, 'LU', 'LUX', 'Luxembourg'),
  (45, 'MC', 'MCO', 'Monaco'),
  (46, 'NL', 'NLD', 'Netherlands'),
  (47, 'NO', 'NOR', 'Norway'),
  (48, 'PA', 'PAN', 'Panama'),
  (49, 'MA', 'MAR', 'Morocco'),
  (50, 'PR', 'PRI', 'Puerto Rico'),
  (51, 'RU', 'RUS', 'Russia'),
  (52, 'SE', 'SWE', 'Sweden'),
  (53, 'VG', 'VGB', 'British Virgin Islands'),
  (54, 'ZA', 'ZAF', 'South Africa'),
  (55, 'PG', 'PNG', 'Papua New Guinea'),
  (56, 'LR', 'LBR', 'Liberia'),
  (57, 'TR', 'TUR', 'Turkey'),
  (58, 'AG', 'ATG', 'Antigua and Barbuda'),
  (59, 'CW', 'CUW', 'Curacao'),
  (60, 'MH', 'MHL', 'Marshall Islands'),
  (61, 'MU', 'MUS', 'Mauritius'),
  (62, 'VI', 'VIR', 'US Virgin Islands'),
  (63, 'IE', 'IRL', 'Ireland'),
  (64, 'CY', 'CYP', 'Cyprus'),
  (65, 'GE', 'GEO', 'Georgia'),
  (66, 'CZ', 'CZE', 'Czech Republic'),
  (67, 'JE', 'JEY', 'Jersey'),
  (68, '68', '068', 'Country 68'),
  (69, '69', '069', 'Country 69'),
  (70, '70', '070', 'Country 70'),
  (71, '71', '071', 'Country 71'),
  (72, '72', '072', 'Country 72'),
  (73, '73', '073', 'Country 73'),
  (74, '74', '074', 'Country 74'),
  (75, '75', '075', 'Country 75'),
  (76, '76', '076', 'Country 76'),
  (77, '77', '077', 'Country 77'),
  (78, '78', '078', 'Country 78'),
  (79, '79', '079', 'Country 79');
INSERT INTO moeda (id, cod, pais, nome) VALUES
  (0, 'm#0', 9, 'Moeda nula (m#0)'),
  (1, 'BRL', 0, 'Real (BRL)'),
  (2, 'USD', 1, 'US Dollar (USD)'),
  (3, 'ARS', 2, 'Peso argentino (ARS)'),
  (4, 'MXN', 3, 'Peso mexicano (MXN)'),
  (5, 'CLP', 4, 'Peso chileno (CLP)'),
  (6, 'VEB', 5, 'Bolivar (VEB)'),
  (7, 'JPY', 6, 'Yen (JPY)'),
  (8, 'GBP', 7, 'Pound sterling (GBP)'),
  (9, 'SEK', 52, 'Swedish krona (SEK)'),
  (10, 'INR', 42, 'Indian rupee (INR)'),
  (11, 'PEN', 11, 'Nuevo sol (PEN)'),
  (12, 'COP', 10, 'Peso colombiano (COP)'),
  (13, 'TRY', 57, 'Turkish lira (TRY)'),
  (14, 'PTE_EUR', 13, 'Escudo (euro) (PTE_EUR)'),
  (15, 'ESP_EUR', 14, 'Peseta (euro) (ESP_EUR)'),
  (16, 'DKK', 39, 'Danish krone (DKK)'),
  (17, 'PHP', 16, 'Philippine peso (PHP)'),
  (18, 'IDR', 19, 'Rupiah (IDR)'),
  (19, 'EUR', 9, 'Euro (EUR)'),
  (20, 'CLF', 4, 'Unidad de fomento (CLF)'),
  (21, 'ZAR', 54, 'Rand (ZAR)'),
  (22, 'ILS', 41, 'New shekel (ILS)'),
  (23, 'RUB', 51, 'Rouble (RUB)'),
  (24, 'NOK', 47, 'Norwegian krone (NOK)'),
  (25, 'CNY', 18, 'Yuan (CNY)'),
  (26, 'TWD', 23, 'Taiwan dollar (TWD)'),
  (27, 'KRW', 25, 'Won (KRW)'),
  (28, 'CAD', 26, 'Canadian dollar (CAD)'),
  (29, 'AUD', 27, 'Australian dollar (AUD)'),
  (30, 'CHF', 30, 'Swiss franc (CHF)'),
  (31, '#31', 9, 'Moeda 31 (#31)');
INSERT INTO base_comercializavel (id, nome) VALUES (1, 'Zun Clients'), (2, 'Extended DB');
INSERT INTO fmt_bal (id, nome) VALUES (1, 'Banks'), (2, 'Insurance'), (3, 'Standard');
INSERT INTO bolsa (id, pais, cod, codiso10383) VALUES
  (0, 9, 'NONE', ''), (1, 0, 'BOVESPA', 'BVMF'), (2, 1, 'NYSE', 'XNYS'), (3, 1, 'NASDAQ', 'XNAS');
INSERT INTO vote_stat (id, cod) VALUES (0, 'ON'), (1, 'PN'), (2, 'UNT');
INSERT INTO tipo_obj (id, nome, marca) VALUES
  (0, 'Share', 1), (1, 'Fund quota', 0), (2, 'Debenture', 0), (3, 'Index', 1);
INSERT INTO oco_tipo (id, seq, abrv, nome) VALUES
  (1, 1, 'DIV', 'Dividend'), (2, 2, 'JCP', 'Interest on capital'), (3, 3, 'SPLIT', 'Split');
INSERT INTO bloco_conta_bal (id, nome) VALUES (1, 'Assets'), (2, 'Liabilities'), (3, 'Income');
INSERT INTO classe (id, nome, mae, cod, estrangeira) VALUES
  (1, 'Equity', 0, 'EQ', 0), (2, 'Common shares', 1, 'ON', 0), (3, 'Preferred shares', 1, 'PN', 0),
  (4, 'Fixed income', 0, 'RF', 0), (10, 'Depositary receipts', 0, 'DR', 1);
INSERT INTO tipo_aplicacao (id, nome) VALUES
  (0, 'Nenhum|None|Ninguno'), (1, 'Acoes|Shares|Acciones'), (2, 'Renda fixa|Fixed income|Renta fija');
INSERT INTO pf_item_tipo_classificacao (id, nome) VALUES
  (0, 'Sem classificacao|Unclassified|Sin clasificacion'), (1, 'Acao|Share|Accion');
INSERT INTO tipo_de_contrato (id, nome) VALUES
  (0, 'Nenhum|None|Ninguno'), (1, 'Futuro|Future|Futuro'), (2, 'Opcao|Option|Opcion');
INSERT INTO campo_lista_valores (formatocampo, id, id_doc, nome_pt, nome_en, nome_es) VALUES
  (32, 1, 'A', 'Aberto', 'Open', 'Abierto'), (32, 2, 'F', 'Fechado', 'Closed', 'Cerrado'),
  (41, 1, '', 'Sim', 'Yes', 'Si'), (41, 2, '', 'Nao', 'No', 'No');
INSERT INTO acionista (id, pais, nome, doc, eh_acionista, eh_aplicacao) VALUES
  (2147483647, 9, 'Total', '', 1, 0), (2147483646, 9, 'Base', '', 1, 0),
  (2147483645, 9, 'Free float', '', 1, 0);

-- Small reference tables written by the import. The settings of a
-- statement account (1..6000) for data entry: hidden from ZunInput's entry,
-- its default entry block (0 none, else a bloco_conta_bal id) and its
-- identification code (0 none). An account without a row has all three at
-- their defaults.
CREATE TABLE conta_bal_ajuste (
  id_conta                  INTEGER PRIMARY KEY CHECK (id_conta BETWEEN 1 AND 6000),
  hide_no_zuninput          INTEGER NOT NULL DEFAULT 0 CHECK (hide_no_zuninput IN (0, 1)),
  bloco_padrao_na_digitacao INTEGER NOT NULL DEFAULT 0 CHECK (bloco_padrao_na_digitacao >= 0),
  identificacao_de_contas   INTEGER NOT NULL DEFAULT 0 CHECK (identificacao_de_contas >= 0)
);
-- A document id names at most one entry of a choice list.
CREATE UNIQUE INDEX campo_lista_valores_doc ON campo_lista_valores (formatocampo, id_doc)
  WHERE id_doc <> '';

-- Quotes: one row per series and day, twelve values, each may be NULL
-- (not stored). Written by "CotacaoImportV3", deleted by
-- "CotacaoImportDelRange".
CREATE TABLE cotacao (
  anb     INTEGER NOT NULL REFERENCES anb (id),
  data    DATETIME NOT NULL,
  valor1  REAL, valor2  REAL, valor3  REAL, valor4  REAL, valor5  REAL, valor6  REAL,
  valor7  REAL, valor8  REAL, valor9  REAL, valor10 REAL, valor11 REAL, valor12 REAL,
  PRIMARY KEY (anb, data)
) WITHOUT ROWID;

-- Company-name normalisation, per country: tipo 1 the abbreviations (chave
-- the phrase to replace, valor what replaces it, written as stored), tipo 2
-- the words with a fixed spelling (chave the word as it must be written,
-- valor ''). Read by "BufPorPaisGet" as lines "chave=valor" or "chave", so
-- neither may hold "=" or a line break.
CREATE TABLE nome_abrev (
  pais  INTEGER NOT NULL REFERENCES pais (id),
  tipo  INTEGER NOT NULL CHECK (tipo IN (1, 2)),
  chave TEXT NOT NULL COLLATE NOCASE
        CHECK (trim(chave) <> '' AND instr(chave, '=') = 0 AND instr(chave, char(13)) = 0
               AND instr(chave, char(10)) = 0),
  valor TEXT NOT NULL DEFAULT ''
        CHECK (instr(valor, '=') = 0 AND instr(valor, char(13)) = 0
               AND instr(valor, char(10)) = 0),
  PRIMARY KEY (pais, tipo, chave)
) WITHOUT ROWID;
INSERT INTO nome_abrev (pais, tipo, chave, valor) VALUES
  (0, 1, 'companhia', 'Cia.'), (0, 1, 'sociedade anônima', 'S.A.'), (0, 1, 's/a', 'S.A.'),
  (0, 1, 'participações', 'Part.'), (0, 1, 'empreendimentos', 'Empreend.'),
  (0, 1, 'indústria', 'Ind.'), (0, 1, 'comércio', 'Com.'), (0, 1, 'limitada', 'Ltda.'),
  (0, 2, 'de', ''), (0, 2, 'da', ''), (0, 2, 'do', ''), (0, 2, 'das', ''), (0, 2, 'dos', ''),
  (0, 2, 'e', ''), (0, 2, 'S.A.', ''), (0, 2, 'BNDES', ''), (0, 2, 'IBM', ''),
  (1, 1, 'corporation', 'Corp.'), (1, 1, 'incorporated', 'Inc.'), (1, 1, 'company', 'Co.'),
  (1, 1, 'limited', 'Ltd.'), (1, 1, 'holdings', 'Hldgs.'),
  (1, 2, 'of', ''), (1, 2, 'the', ''), (1, 2, 'and', ''), (1, 2, 'IBM', ''),
  (1, 2, 'LLC', ''), (1, 2, 'USA', '');


-- Indicators by date: the registration data of series (eaa 0), assets
-- (eaa 1) and companies (eaa 2). def_indicador defines each indicator and
-- the field type fc that says how its value is read and kept (a number, a
-- text, a date, or an item of the choice list of that type). valor_indicador
-- holds one value per object, indicator and start date (data_ini '' = from
-- the beginning); a read picks the row with the latest start date not after
-- the asked date. A row whose three values are NULL clears the value from
-- its date on.
CREATE TABLE def_indicador (
  id      INTEGER PRIMARY KEY CHECK (id >= 1),
  fc      INTEGER NOT NULL CHECK (fc BETWEEN 0 AND 255),
  nome_pt TEXT NOT NULL DEFAULT '',
  nome_en TEXT NOT NULL DEFAULT '',
  nome_es TEXT NOT NULL DEFAULT ''
);
CREATE TABLE valor_indicador (
  eaa      INTEGER NOT NULL CHECK (eaa BETWEEN 0 AND 2),
  id_eaa   INTEGER NOT NULL,
  idindica INTEGER NOT NULL REFERENCES def_indicador(id),
  data_ini TEXT NOT NULL DEFAULT '',
  valornum REAL,
  valordt  DATETIME,
  valorst  TEXT,
  PRIMARY KEY (eaa, id_eaa, idindica, data_ini)
) WITHOUT ROWID;
-- Registration formats: which indicators make up the registration data of
-- an object type in a country (regra_formato_cadastro gives the format of
-- (tipoobj, pais); a series may name its own in formato_de_cadastro). The
-- lines of type 2 name an indicator (p1) of object kind eaa; other line
-- types are titles (p1 a line group).
CREATE TABLE formato_cadastro (
  id        INTEGER PRIMARY KEY CHECK (id >= 1),
  pais      INTEGER NOT NULL,
  ordem     INTEGER NOT NULL DEFAULT 0,
  titulo_pt TEXT NOT NULL DEFAULT '',
  titulo_en TEXT NOT NULL DEFAULT '',
  titulo_es TEXT NOT NULL DEFAULT ''
);
CREATE TABLE regra_formato_cadastro (
  tipoobj INTEGER NOT NULL CHECK (tipoobj BETWEEN 0 AND 255),
  pais    INTEGER NOT NULL CHECK (pais BETWEEN 0 AND 255),
  idfdc   INTEGER NOT NULL REFERENCES formato_cadastro(id),
  PRIMARY KEY (tipoobj, pais)
);
CREATE TABLE linha_formato (
  idfdc          INTEGER NOT NULL REFERENCES formato_cadastro(id),
  idlinha        INTEGER NOT NULL,
  eaa            INTEGER NOT NULL CHECK (eaa BETWEEN 0 AND 2),
  tipo_linha     INTEGER NOT NULL CHECK (tipo_linha BETWEEN 0 AND 255),
  p1             INTEGER NOT NULL DEFAULT 0,
  str_pt         TEXT NOT NULL DEFAULT '',
  str_en         TEXT NOT NULL DEFAULT '',
  str_es         TEXT NOT NULL DEFAULT '',
  visivel_no_zun INTEGER NOT NULL DEFAULT 1 CHECK (visivel_no_zun IN (0, 1)),
  PRIMARY KEY (idfdc, idlinha)
);
INSERT INTO def_indicador (id, fc, nome_pt, nome_en, nome_es) VALUES
  (1, 3, 'Nome da série', 'Series name', 'Nombre de la serie'),
  (9, 3, 'CNPJ', 'Tax number', 'Número fiscal'),
  (46, 5, 'Número', 'Number', 'Número'),
  (48, 3, 'Texto da série', 'Series text', 'Texto de la serie'),
  (58, 3, 'Texto da empresa', 'Company text', 'Texto de la empresa'),
  (100, 28, 'Data de início', 'Start date', 'Fecha de inicio'),
  (101, 5, 'Taxa de administração', 'Management fee', 'Comisión de administración'),
  (102, 32, 'Condomínio', 'Fund structure', 'Estructura del fondo'),
  (103, 9, 'Moeda', 'Currency', 'Moneda'),
  (104, 21, 'Exclusivo', 'Exclusive', 'Exclusivo'),
  (105, 0, 'Cotistas', 'Unit holders', 'Cuotistas'),
  (106, 41, 'Segmento', 'Segment', 'Segmento');
INSERT INTO formato_cadastro (id, pais, ordem, titulo_pt, titulo_en, titulo_es) VALUES
  (1, 0, 1, 'Fundos', 'Funds', 'Fondos'),
  (2, 0, 2, 'Ações', 'Shares', 'Acciones'),
  (3, 1, 1, 'Shares', 'Shares', 'Acciones');
INSERT INTO regra_formato_cadastro (tipoobj, pais, idfdc) VALUES (1, 0, 1), (0, 0, 2), (0, 1, 3);
INSERT INTO linha_formato (idfdc, idlinha, eaa, tipo_linha, p1) VALUES
  (1, 1, 0, 1, 1), (1, 2, 0, 2, 1), (1, 3, 0, 2, 48), (1, 4, 0, 2, 46), (1, 5, 0, 2, 100),
  (1, 6, 0, 2, 101), (1, 7, 0, 2, 102), (1, 8, 0, 2, 104), (1, 9, 0, 2, 105),
  (1, 10, 2, 1, 4), (1, 11, 2, 2, 58), (1, 12, 2, 2, 9), (1, 13, 2, 2, 106),
  (2, 1, 0, 2, 1), (2, 2, 0, 2, 48), (2, 3, 0, 2, 46), (2, 4, 1, 2, 103),
  (2, 5, 2, 2, 58), (2, 6, 2, 2, 9), (2, 7, 2, 2, 106),
  (3, 1, 0, 2, 1), (3, 2, 0, 2, 48), (3, 3, 2, 2, 58), (3, 4, 2, 2, 9);
-- Share bases: per company, day and source (0..7), the number of shares of
-- each class: the total, the part in treasury and the part outside it,
-- each with its status (where the number came from: 0 none, 2 imported, 5
-- derived, ...). Written one class at a time by "PutBaseAcionaria".
CREATE TABLE base_acionaria (
  id_emp        INTEGER NOT NULL REFERENCES empresa (id),
  data          DATETIME NOT NULL,
  source        INTEGER NOT NULL CHECK (source BETWEEN 0 AND 7),
  id_class      INTEGER NOT NULL REFERENCES classe (id),
  total         REAL NOT NULL DEFAULT 0,
  stat_tot      INTEGER NOT NULL DEFAULT 0 CHECK (stat_tot BETWEEN 0 AND 255),
  em_tesouraria REAL NOT NULL DEFAULT 0,
  stat_em       INTEGER NOT NULL DEFAULT 0 CHECK (stat_em BETWEEN 0 AND 255),
  ex_tesouraria REAL NOT NULL DEFAULT 0,
  stat_ex       INTEGER NOT NULL DEFAULT 0 CHECK (stat_ex BETWEEN 0 AND 255),
  PRIMARY KEY (id_emp, source, data, id_class)
) WITHOUT ROWID;

-- Shareholding compositions: one per company, kind of document (0
-- shareholders, 1 fund portfolio, 3 credit receivables) and reference
-- date, with its items. An item is one value (vot 0..3) of one party,
-- portfolio kind and classification (NULL: none).
CREATE TABLE compacc (
  id            INTEGER PRIMARY KEY,
  emp           INTEGER NOT NULL REFERENCES empresa(id),
  dtref         DATETIME NOT NULL,
  dtpub         DATETIME,
  dtrtf         DATETIME,
  inpct         INTEGER NOT NULL DEFAULT 0,
  TipoDocumento INTEGER NOT NULL CHECK (TipoDocumento IN (0, 1, 3)),
  UNIQUE (emp, TipoDocumento, dtref)
);
CREATE TABLE compaccitem (
  cac               INTEGER NOT NULL REFERENCES compacc(id),
  nac               INTEGER NOT NULL REFERENCES acionista(id),
  vot               INTEGER NOT NULL CHECK (vot BETWEEN 0 AND 3),
  vlr               REAL NOT NULL,
  TipoAplicacao     INTEGER NOT NULL DEFAULT 0,
  TipoClassificacao INTEGER
);
CREATE UNIQUE INDEX compaccitem_chave
  ON compaccitem (cac, nac, TipoAplicacao, vot, IFNULL(TipoClassificacao, 0));

-- The account plan of the statements. An account (1..6000) has a long and
-- a short name in three languages, its block (a bloco_conta_bal id), its
-- place and display, 16 characteristics and how it is calculated
-- (comocalcular 0 = reported). Its entry settings (hidden, default block,
-- identification) are in conta_bal_ajuste.
CREATE TABLE conta_bal (
  id                  INTEGER PRIMARY KEY CHECK (id BETWEEN 1 AND 6000),
  nome_extenso_por    TEXT NOT NULL,
  nome_extenso_ing    TEXT NOT NULL,
  nome_extenso_esp    TEXT NOT NULL,
  nome_compacto_por   TEXT NOT NULL,
  nome_compacto_ing   TEXT NOT NULL,
  nome_compacto_esp   TEXT NOT NULL,
  bloco               INTEGER NOT NULL REFERENCES bloco_conta_bal (id),
  ordemnobloco        INTEGER NOT NULL DEFAULT 0,
  decimais            INTEGER NOT NULL DEFAULT 0,
  formatacao          INTEGER NOT NULL DEFAULT 0,
  carac_periodizavel INTEGER NOT NULL DEFAULT 0 CHECK (carac_periodizavel IN (0, 1)),
  carac_periodizcalc INTEGER NOT NULL DEFAULT 0 CHECK (carac_periodizcalc IN (0, 1)),
  carac_emmoeda INTEGER NOT NULL DEFAULT 0 CHECK (carac_emmoeda IN (0, 1)),
  carac_03 INTEGER NOT NULL DEFAULT 0 CHECK (carac_03 IN (0, 1)),
  carac_04 INTEGER NOT NULL DEFAULT 0 CHECK (carac_04 IN (0, 1)),
  carac_afetadaporlote INTEGER NOT NULL DEFAULT 0 CHECK (carac_afetadaporlote IN (0, 1)),
  carac_doresumo INTEGER NOT NULL DEFAULT 0 CHECK (carac_doresumo IN (0, 1)),
  carac_ehporacao INTEGER NOT NULL DEFAULT 0 CHECK (carac_ehporacao IN (0, 1)),
  carac_hidenaesctreco INTEGER NOT NULL DEFAULT 0 CHECK (carac_hidenaesctreco IN (0, 1)),
  carac_oferecepribal INTEGER NOT NULL DEFAULT 0 CHECK (carac_oferecepribal IN (0, 1)),
  carac_10 INTEGER NOT NULL DEFAULT 0 CHECK (carac_10 IN (0, 1)),
  carac_11 INTEGER NOT NULL DEFAULT 0 CHECK (carac_11 IN (0, 1)),
  carac_12 INTEGER NOT NULL DEFAULT 0 CHECK (carac_12 IN (0, 1)),
  carac_13 INTEGER NOT NULL DEFAULT 0 CHECK (carac_13 IN (0, 1)),
  carac_14 INTEGER NOT NULL DEFAULT 0 CHECK (carac_14 IN (0, 1)),
  carac_15 INTEGER NOT NULL DEFAULT 0 CHECK (carac_15 IN (0, 1)),
  comocalcular        INTEGER NOT NULL DEFAULT 0,
  comocalcular_num    INTEGER NOT NULL DEFAULT 0
);

-- The lines of a statement format, numbered from 1 (seq): tipo 0 or 3 an
-- account line (conta, sinal 0..12, indentacao, anvert), 1 a block header
-- (bloco), others text lines. Written by the import as plain rows.
CREATE TABLE ApresFmtBalItems (
  fmtbal                INTEGER NOT NULL REFERENCES fmt_bal (id),
  seq                   INTEGER NOT NULL CHECK (seq >= 1),
  tipo                  INTEGER NOT NULL CHECK (tipo BETWEEN 0 AND 255),
  conta                 INTEGER NOT NULL DEFAULT 0,
  sinal                 INTEGER NOT NULL DEFAULT 0 CHECK (sinal BETWEEN 0 AND 12),
  indentacao            INTEGER NOT NULL DEFAULT 0,
  anvert                INTEGER NOT NULL DEFAULT 0,
  hidden                INTEGER NOT NULL DEFAULT 0 CHECK (hidden IN (0, 1)),
  cafecomleite          INTEGER NOT NULL DEFAULT 0 CHECK (cafecomleite IN (0, 1)),
  bloco                 INTEGER,
  NaoPodeCalcular       INTEGER NOT NULL DEFAULT 0 CHECK (NaoPodeCalcular IN (0, 1)),
  NaoPodeDigitar        INTEGER NOT NULL DEFAULT 0 CHECK (NaoPodeDigitar IN (0, 1)),
  IdentificacaoDeContas INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (fmtbal, seq)
);

-- Statements: one per company, reference date, consolidated flag, document
-- type and source. nao_loga_contas is set while the import writes the
-- cells of a new statement ("BalancoNaoLogaContasAdd"/"...Del"): the cell
-- changes of a statement are logged in balanco_conta_log unless it is set.
CREATE TABLE balanco (
  id                     INTEGER PRIMARY KEY,
  empresa                INTEGER NOT NULL REFERENCES empresa (id),
  dataref                DATETIME NOT NULL,
  consolidado            INTEGER NOT NULL CHECK (consolidado IN (0, 1)),
  sourcedobal            INTEGER NOT NULL CHECK (sourcedobal BETWEEN 0 AND 7),
  tipodocumento          INTEGER NOT NULL CHECK (tipodocumento IN (0, 1)),
  meses                  INTEGER NOT NULL DEFAULT 0,
  moeda                  INTEGER NOT NULL DEFAULT 0,
  datamoeda              DATETIME,
  datadivulgacao         DATETIME,
  dataultalteracao       DATETIME,
  corrmon                INTEGER NOT NULL DEFAULT 0,
  incompleto             INTEGER NOT NULL DEFAULT 0 CHECK (incompleto IN (0, 1)),
  checagemfalhou         INTEGER NOT NULL DEFAULT 0 CHECK (checagemfalhou BETWEEN 0 AND 2),
  aceitarfalhanachecagem INTEGER NOT NULL DEFAULT 0 CHECK (aceitarfalhanachecagem IN (0, 1)),
  balentroucomonovobd    INTEGER NOT NULL DEFAULT 0 CHECK (balentroucomonovobd IN (0, 1)),
  nao_loga_contas        INTEGER NOT NULL DEFAULT 0 CHECK (nao_loga_contas IN (0, 1))
);
CREATE UNIQUE INDEX balanco_chave
  ON balanco (empresa, dataref, consolidado, tipodocumento, sourcedobal);

-- The cells of a statement: one row per account and period (De3Meses 0 the
-- full period, 1 the last three months) that has a value. Kept in key order,
-- so that a statement's cells are read and written as one range.
CREATE TABLE BalancoUmaConta (
  balanco  INTEGER NOT NULL REFERENCES balanco (id) ON DELETE CASCADE,
  conta    INTEGER NOT NULL REFERENCES conta_bal (id),
  valor    REAL,
  CalcOuRx INTEGER NOT NULL DEFAULT 0 CHECK (CalcOuRx IN (0, 1)),
  De3Meses INTEGER NOT NULL CHECK (De3Meses IN (0, 1)),
  PRIMARY KEY (balanco, conta, De3Meses)
) WITHOUT ROWID;
CREATE INDEX BalancoUmaConta_conta ON BalancoUmaConta (conta);

-- The log of cell changes: the old and new value (NULL for none) of every
-- insert, update and delete of a statement not marked nao_loga_contas.
CREATE TABLE balanco_conta_log (
  balanco      INTEGER NOT NULL,
  conta        INTEGER NOT NULL,
  De3Meses     INTEGER NOT NULL,
  valor_antigo REAL,
  valor_novo   REAL,
  quando       DATETIME NOT NULL DEFAULT (datetime('now', 'localtime'))
);
CREATE TRIGGER BalancoUmaConta_log_ins AFTER INSERT ON BalancoUmaConta
  WHEN (SELECT nao_loga_contas FROM balanco WHERE id = NEW.balanco) = 0
BEGIN
  INSERT INTO balanco_conta_log (balanco, conta, De3Meses, valor_antigo, valor_novo)
  VALUES (NEW.balanco, NEW.conta, NEW.De3Meses, NULL, NEW.valor);
END;
CREATE TRIGGER BalancoUmaConta_log_upd AFTER UPDATE OF valor ON BalancoUmaConta
  WHEN OLD.valor IS NOT NEW.valor
   AND (SELECT nao_loga_contas FROM balanco WHERE id = NEW.balanco) = 0
BEGIN
  INSERT INTO balanco_conta_log (balanco, conta, De3Meses, valor_antigo, valor_novo)
  VALUES (NEW.balanco, NEW.conta, NEW.De3Meses, OLD.valor, NEW.valor);
END;
CREATE TRIGGER BalancoUmaConta_log_del AFTER DELETE ON BalancoUmaConta
  WHEN (SELECT nao_loga_contas FROM balanco WHERE id = OLD.balanco) = 0
BEGIN
  INSERT INTO balanco_conta_log (balanco, conta, De3Meses, valor_antigo, valor_novo)
  VALUES (OLD.balanco, OLD.conta, OLD.De3Meses, OLD.valor, NULL);
END;

INSERT INTO schema_version (version, applied) VALUES (16, datetime('now', 'localtime'));
