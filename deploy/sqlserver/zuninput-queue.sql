-- ZunInput: what this project adds to a customer's queue on SQL Server.
--
-- NOT EXECUTED HERE: the machines this project is built and tested on have no
-- SQL Server. This script renders, line for line, the contracts of the
-- embedded database's procedures (docs/database.md, "Queue procedures" and
-- "The queue for owners and operators"); a test checks that every procedure
-- below has the same parameters (names, directions, types) as its embedded
-- twin. Try it on a copy of the database first.
--
-- What it assumes: the queue table dbo.import_files (id, uid, prioridade,
-- mom, filename, importtries, conteudo, result, result_mom, done) and the
-- users table dbo.users (uid, name, is_admin); where yours are named
-- otherwise, rename them here. The login that called is ORIGINAL_LOGIN(); the
-- user it works as ("ChamaSetuser") is USER_NAME(); both are looked up by name
-- in dbo.users.
--
-- Needs SQL Server 2016 SP1 or later (CREATE OR ALTER, DROP ... IF EXISTS,
-- STRING_SPLIT at compatibility level 130).
--
-- Safe to run twice: each step checks what is there. Each step has its undo
-- in zuninput-queue-undo.sql (run it to go back to the queue as it was: the
-- definitions of "ImportFilesNext" and "ImportFilesResult" this script
-- replaces are kept in dbo.zuninput_saved_procs and restored from there).
--
-- The service finds what is deployed by itself (its procedure check at
-- login) and goes without what is not.

SET XACT_ABORT ON;
GO

-- Step 1: the replaced definitions, kept for the undo.
IF OBJECT_ID(N'dbo.zuninput_saved_procs', N'U') IS NULL
  CREATE TABLE dbo.zuninput_saved_procs (
    name sysname NOT NULL PRIMARY KEY,
    definition nvarchar(max) NULL);
GO
INSERT INTO dbo.zuninput_saved_procs (name, definition)
SELECT p.name, OBJECT_DEFINITION(p.object_id)
FROM sys.procedures p
WHERE p.schema_id = SCHEMA_ID(N'dbo') AND p.name IN (N'ImportFilesNext', N'ImportFilesResult')
  AND NOT EXISTS (SELECT 1 FROM dbo.zuninput_saved_procs s WHERE s.name = p.name);
GO

-- Step 2: the lease of an entry (taken_until, lease); a column this script
-- adds is noted as "column:<name>", so that the undo drops only those.
IF COL_LENGTH(N'dbo.import_files', N'taken_until') IS NULL
BEGIN
  ALTER TABLE dbo.import_files ADD taken_until datetime2(3) NULL;
  INSERT INTO dbo.zuninput_saved_procs (name) VALUES (N'column:taken_until');
END
IF COL_LENGTH(N'dbo.import_files', N'lease') IS NULL
BEGIN
  ALTER TABLE dbo.import_files ADD lease int NOT NULL
    CONSTRAINT DF_import_files_lease DEFAULT 0;
  INSERT INTO dbo.zuninput_saved_procs (name) VALUES (N'column:lease');
END
GO

-- Step 3: where an import pass stands, and the line messages of each try
-- (importtry: the entry's importtries when they were stored; code: the code
-- the line failed with, 0 for a note; reason: that code's reason; linetext:
-- the line itself; a line 0 counts the messages a try did not keep).
IF OBJECT_ID(N'dbo.import_files_retoma', N'U') IS NULL
  CREATE TABLE dbo.import_files_retoma (
    id int NOT NULL PRIMARY KEY REFERENCES dbo.import_files (id) ON DELETE CASCADE,
    lease int NOT NULL,
    linha int NULL,
    erro int NULL,
    erros int NULL,
    gbol int NULL,
    pedido nvarchar(max) NULL,
    desde int NULL,
    mortes int NULL,
    aplicadas int NULL,
    puladas int NULL,
    mensagens nvarchar(max) NULL);
IF OBJECT_ID(N'dbo.import_file_errors', N'U') IS NULL
BEGIN
  CREATE TABLE dbo.import_file_errors (
    seq bigint IDENTITY PRIMARY KEY,
    id int NOT NULL REFERENCES dbo.import_files (id) ON DELETE CASCADE,
    line int NOT NULL,
    msg nvarchar(max) NOT NULL,
    importtry int NOT NULL DEFAULT 0,
    code int NOT NULL DEFAULT 0,
    reason nvarchar(max) NOT NULL DEFAULT N'',
    linetext nvarchar(max) NOT NULL DEFAULT N'');
  CREATE INDEX import_file_errors_id ON dbo.import_file_errors (id);
END
GO
-- A table made by an earlier version of this script (line and message
-- alone): its rows become try 0, without code, reason or text.
IF COL_LENGTH(N'dbo.import_file_errors', N'importtry') IS NULL
  ALTER TABLE dbo.import_file_errors ADD importtry int NOT NULL DEFAULT 0;
IF COL_LENGTH(N'dbo.import_file_errors', N'code') IS NULL
  ALTER TABLE dbo.import_file_errors ADD code int NOT NULL DEFAULT 0;
IF COL_LENGTH(N'dbo.import_file_errors', N'reason') IS NULL
  ALTER TABLE dbo.import_file_errors ADD reason nvarchar(max) NOT NULL DEFAULT N'';
IF COL_LENGTH(N'dbo.import_file_errors', N'linetext') IS NULL
  ALTER TABLE dbo.import_file_errors ADD linetext nvarchar(max) NOT NULL DEFAULT N'';
GO
-- A table an earlier version of this script made: where the hand-out was
-- (desde), the deaths in a row without progress (mortes), the records
-- applied and skipped and the line messages so far.
IF COL_LENGTH(N'dbo.import_files_retoma', N'desde') IS NULL
  ALTER TABLE dbo.import_files_retoma ADD desde int NULL, mortes int NULL, aplicadas int NULL,
    puladas int NULL, mensagens nvarchar(max) NULL;
GO

-- Step 4: the hand-out with a lease. Picking the entry and counting its try
-- are one UPDATE whose OUTPUT names the entry; UPDLOCK and READPAST let a
-- second caller skip the row the first one holds instead of waiting for it
-- or taking it too.
CREATE OR ALTER PROCEDURE dbo.ImportFilesNext
  @MaxPrioridade int = NULL,
  @MaxImportTries int = NULL
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @pri int = ISNULL(@MaxPrioridade, 5), @tries int = ISNULL(@MaxImportTries, 2);
  DECLARE @agora datetime2(3) = SYSUTCDATETIME();
  DECLARE @ate datetime2(3) = DATEADD(minute, 30, @agora);
  DECLARE @menos_um int = (SELECT COUNT(*) FROM dbo.import_files
    WHERE (done = 1 AND (result IS NULL OR result <> 0)) OR importtries < 0);
  DECLARE @t TABLE (id int, lease int);
  DECLARE @result int = 0;
  IF NOT EXISTS (SELECT 1 FROM dbo.users WHERE name = ORIGINAL_LOGIN() AND is_admin = 1)
  BEGIN
    SELECT 50105 AS result, 0 AS CountMenosUm;
    RETURN 0;
  END;
  BEGIN TRANSACTION;
  -- A dead process's entry (its lease ran out without an outcome). One whose
  -- import pass committed lines is resumed first, without a try and
  -- whatever its priority, when its last hand-out committed more or fewer
  -- than @tries hand-outs in a row died without committing more; else, on
  -- its last try, it is handed out again, without a try, for the failure to
  -- be recorded (50106).
  UPDATE dbo.import_files SET taken_until = @ate, lease = lease + 1
  OUTPUT inserted.id, inserted.lease INTO @t
  WHERE id = (SELECT TOP (1) f.id FROM dbo.import_files f WITH (UPDLOCK, READPAST, ROWLOCK)
              LEFT JOIN dbo.import_files_retoma r ON r.id = f.id
              WHERE f.done = 0 AND f.taken_until IS NOT NULL AND f.taken_until < @agora
                AND (f.importtries >= @tries
                  OR (f.conteudo IS NOT NULL AND r.linha IS NOT NULL
                      AND (r.linha > ISNULL(r.desde, -1) OR ISNULL(r.mortes, 0) + 1 < @tries)))
              ORDER BY f.prioridade, f.mom, f.id);
  IF EXISTS (SELECT 1 FROM @t)
    SET @result = CASE WHEN EXISTS (
      SELECT 1 FROM @t t JOIN dbo.import_files f ON f.id = t.id
      LEFT JOIN dbo.import_files_retoma r ON r.id = f.id
      WHERE f.conteudo IS NOT NULL AND r.linha IS NOT NULL
        AND (r.linha > ISNULL(r.desde, -1) OR ISNULL(r.mortes, 0) + 1 < @tries))
      THEN 0 ELSE 50106 END
  ELSE
    UPDATE dbo.import_files
    SET importtries = importtries + 1, taken_until = @ate, lease = lease + 1
    OUTPUT inserted.id, inserted.lease INTO @t
    WHERE id = (SELECT TOP (1) id FROM dbo.import_files WITH (UPDLOCK, READPAST, ROWLOCK)
                WHERE done = 0 AND conteudo IS NOT NULL AND prioridade <= @pri
                  AND importtries < @tries AND (taken_until IS NULL OR taken_until < @agora)
                ORDER BY prioridade, mom, id);
  IF NOT EXISTS (SELECT 1 FROM @t)
  BEGIN
    COMMIT;
    SELECT 4072 AS result, @menos_um AS CountMenosUm;
    RETURN 0;
  END;
  -- A row left means its hand-out died (an outcome deletes it): the new one
  -- starts where it stood, and counts the deaths in a row without progress.
  MERGE dbo.import_files_retoma AS r
  USING @t AS t ON r.id = t.id
  WHEN MATCHED THEN UPDATE SET lease = t.lease, desde = r.linha,
    mortes = CASE WHEN r.linha > ISNULL(r.desde, -1) THEN 0 ELSE ISNULL(r.mortes, 0) + 1 END
  WHEN NOT MATCHED THEN INSERT (id, lease) VALUES (t.id, t.lease);
  IF NOT EXISTS (SELECT 1 FROM @t t JOIN dbo.import_files f ON f.id = t.id
                 JOIN dbo.users u ON u.uid = f.uid)
  BEGIN
    UPDATE f SET result = 50104, result_mom = @agora, taken_until = NULL
    FROM dbo.import_files f JOIN @t t ON t.id = f.id;
    COMMIT;
    SELECT 50104 AS result, @menos_um AS CountMenosUm;
    RETURN 0;
  END;
  COMMIT;
  SELECT @result AS result, @menos_um AS CountMenosUm;
  SELECT f.uid AS Uid, f.id AS Id, f.prioridade, u.name AS Name, f.mom, f.filename,
    f.importtries, f.conteudo, f.lease, r.linha AS retoma_linha, r.erro AS retoma_erro,
    r.erros AS retoma_erros, r.gbol AS retoma_gbol, r.pedido AS retoma_pedido,
    r.aplicadas AS retoma_aplicadas, r.puladas AS retoma_puladas,
    r.mensagens AS retoma_mensagens
  FROM @t t JOIN dbo.import_files f ON f.id = t.id JOIN dbo.users u ON u.uid = f.uid
  LEFT JOIN dbo.import_files_retoma r ON r.id = f.id;
  RETURN 0;
END;
GO

-- Step 5: the outcome under the lease. A caller whose lease is gone learns
-- only that (50107), not whether another process recorded a success.
CREATE OR ALTER PROCEDURE dbo.ImportFilesResult
  @id int,
  @res int,
  @ApagaConteudo bit,
  @lease int = NULL
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @done int, @tem_lease int;
  BEGIN TRANSACTION;
  SELECT @done = done,
    @tem_lease = CASE WHEN lease = @lease AND taken_until IS NOT NULL THEN 1 ELSE 0 END
  FROM dbo.import_files WITH (UPDLOCK, HOLDLOCK) WHERE id = @id;
  DECLARE @code int = CASE
    WHEN @id IS NULL OR @done IS NULL THEN 50101
    WHEN @res IS NULL THEN 50102
    WHEN @lease IS NOT NULL AND @tem_lease = 0 THEN 50107
    WHEN @done <> 0 THEN 50103
    ELSE 0 END;
  IF @code = 0
  BEGIN
    UPDATE dbo.import_files SET result = @res, result_mom = SYSUTCDATETIME(),
      done = CASE WHEN @res = 0 THEN 1 ELSE 0 END, taken_until = NULL,
      conteudo = CASE WHEN @ApagaConteudo = 1 THEN NULL ELSE conteudo END
    WHERE id = @id;
    DELETE FROM dbo.import_files_retoma WHERE id = @id;
  END;
  COMMIT;
  RETURN @code;
END;
GO

-- Step 6: the line messages of the entry's current try (its importtries),
-- one a line: line number, code, reason, message and the line's text,
-- separated by tabs (a line number and a message alone are taken too; other
-- lines are skipped). At most 1,001 rows a try, in the order given; only an
-- earlier store of the same try is replaced, the tries before keep theirs.
-- The lines are walked one by one: STRING_SPLIT keeps no order.
CREATE OR ALTER PROCEDURE dbo.ImportFilesErros
  @id int,
  @lease int = NULL,
  @linhas nvarchar(max)
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @try int = (SELECT importtries FROM dbo.import_files WHERE id = @id);
  IF @id IS NULL OR @try IS NULL RETURN 50101;
  IF @lease IS NOT NULL AND NOT EXISTS (SELECT 1 FROM dbo.import_files
      WHERE id = @id AND lease = @lease AND taken_until IS NOT NULL)
    RETURN 50107;
  DECLARE @s nvarchar(max) = ISNULL(@linhas, N'');
  DECLARE @len bigint = DATALENGTH(@s) / 2, @at bigint = 1, @fim bigint, @l nvarchar(max);
  DECLARE @t1 bigint, @t2 bigint, @t3 bigint, @t4 bigint, @n int = 0;
  DECLARE @rows TABLE (n int PRIMARY KEY, line int, code int, reason nvarchar(max),
    msg nvarchar(max), linetext nvarchar(max));
  WHILE @at <= @len AND @n < 1001
  BEGIN
    SET @fim = CHARINDEX(NCHAR(10), @s, @at);
    IF @fim = 0 SET @fim = @len + 1;
    SET @l = SUBSTRING(@s, @at, @fim - @at);
    SET @at = @fim + 1;
    SET @t1 = CHARINDEX(NCHAR(9), @l);
    SET @t2 = CASE WHEN @t1 > 0 THEN CHARINDEX(NCHAR(9), @l, @t1 + 1) ELSE 0 END;
    SET @t3 = CASE WHEN @t2 > 0 THEN CHARINDEX(NCHAR(9), @l, @t2 + 1) ELSE 0 END;
    SET @t4 = CASE WHEN @t3 > 0 THEN CHARINDEX(NCHAR(9), @l, @t3 + 1) ELSE 0 END;
    IF @t1 > 0 AND @t2 = 0
    BEGIN
      SET @n = @n + 1;
      INSERT INTO @rows VALUES (@n, ISNULL(TRY_CAST(LEFT(@l, @t1 - 1) AS int), 0), 0, N'',
        SUBSTRING(@l, @t1 + 1, DATALENGTH(@l) / 2), N'');
    END
    ELSE IF @t4 > 0 AND CHARINDEX(NCHAR(9), @l, @t4 + 1) = 0
    BEGIN
      SET @n = @n + 1;
      INSERT INTO @rows VALUES (@n, ISNULL(TRY_CAST(LEFT(@l, @t1 - 1) AS int), 0),
        ISNULL(TRY_CAST(SUBSTRING(@l, @t1 + 1, @t2 - @t1 - 1) AS int), 0),
        SUBSTRING(@l, @t2 + 1, @t3 - @t2 - 1), SUBSTRING(@l, @t3 + 1, @t4 - @t3 - 1),
        SUBSTRING(@l, @t4 + 1, DATALENGTH(@l) / 2));
    END;
  END;
  BEGIN TRANSACTION;
  DELETE FROM dbo.import_file_errors WHERE id = @id AND importtry = @try;
  INSERT INTO dbo.import_file_errors (id, importtry, line, code, reason, msg, linetext)
  SELECT @id, @try, line, code, reason, msg, linetext FROM @rows ORDER BY n;
  COMMIT;
  RETURN 0;
END;
GO

-- Step 7: the lease renewed while a file is imported.
CREATE OR ALTER PROCEDURE dbo.ImportFilesRenova
  @id int,
  @lease int
AS
BEGIN
  SET NOCOUNT ON;
  UPDATE dbo.import_files SET taken_until = DATEADD(minute, 30, SYSUTCDATETIME())
  WHERE id = @id AND lease = @lease AND done = 0 AND taken_until IS NOT NULL;
  IF @@ROWCOUNT = 0 RETURN 50107;
  RETURN 0;
END;
GO

-- Step 8: where an import pass stands, in the transaction of its lines,
-- with the records applied and skipped and the line messages so far (NULL:
-- unchanged).
CREATE OR ALTER PROCEDURE dbo.ImportFilesMarca
  @id int,
  @lease int,
  @linha int,
  @erro int,
  @erros int,
  @gbol int,
  @pedido nvarchar(max),
  @aplicadas int,
  @puladas int,
  @mensagens nvarchar(max)
AS
BEGIN
  SET NOCOUNT ON;
  UPDATE dbo.import_files_retoma SET linha = @linha, erro = @erro, erros = @erros,
    gbol = @gbol, pedido = @pedido, aplicadas = @aplicadas, puladas = @puladas,
    mensagens = ISNULL(@mensagens, mensagens)
  WHERE id = @id AND lease = @lease;
  IF @@ROWCOUNT = 0 RETURN 50107;
  RETURN 0;
END;
GO

-- Step 9: the queue for owners and operators. An owner sees and changes
-- only their own entries, an administrator any (50108 otherwise).
CREATE OR ALTER PROCEDURE dbo.ImportFilesLista
  @estado nvarchar(20) = NULL,
  @usuario nvarchar(128) = NULL
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @agora datetime2(3) = SYSUTCDATETIME();
  IF NOT EXISTS (SELECT 1 FROM dbo.users WHERE name = USER_NAME() AND is_admin = 1)
    SET @usuario = USER_NAME();
  WITH e AS (
    SELECT f.*, u.name AS user_name,
      CASE
        WHEN f.done = 1 AND f.result = 0 THEN 'succeeded'
        WHEN f.done = 0 AND f.taken_until > @agora THEN 'importing'
        WHEN f.done = 0 AND f.conteudo IS NOT NULL AND f.importtries < 2 THEN 'waiting'
        ELSE 'failed'
      END AS state
    FROM dbo.import_files f JOIN dbo.users u ON u.uid = f.uid),
  q AS (
    SELECT id, user_name AS [user], prioridade AS priority,
      CONVERT(varchar(19), mom, 120) AS queued, filename, importtries AS tries, result,
      CASE WHEN conteudo IS NULL THEN 'N' ELSE 'Y' END AS content, state,
      CASE
        WHEN state = 'succeeded' THEN CONCAT('imported at ', CONVERT(varchar(23), result_mom, 121), ' GMT')
        WHEN state = 'importing' THEN CONCAT('a run is importing it (taken until ', CONVERT(varchar(23), taken_until, 121), ' GMT)')
        WHEN state = 'waiting' AND prioridade > 5 THEN CONCAT('priority ', prioridade,
          ' is above 5: waits for the 03:00-07:59 window (server time)')
        WHEN state = 'waiting' AND result IS NOT NULL THEN CONCAT('failed with ', result,
          '; the next run tries it again (', importtries, ' of 2 tries used)')
        WHEN state = 'waiting' THEN 'waits for the next run'
        WHEN done = 1 THEN CONCAT('marked done with result ', ISNULL(CAST(result AS varchar(11)), 'none'), ' by hand')
        WHEN conteudo IS NULL THEN CONCAT('failed with ', ISNULL(CAST(result AS varchar(11)), 'none'),
          '; its content was deleted: queue the file again')
        WHEN result IS NULL THEN 'its last try ended with its process; the next run records 50106'
        ELSE CONCAT('failed with ', result, ' and used its ', importtries,
          ' tries; zuninput-db retry ', id, ' offers it once more')
      END AS why
    FROM e
    WHERE (ISNULL(@estado, '') <> 'failed' OR (result IS NOT NULL AND result <> 0))
      AND (ISNULL(@estado, '') <> 'waiting' OR state = 'waiting')
      AND (@usuario IS NULL OR user_name = @usuario))
  SELECT * FROM q ORDER BY id;
  RETURN 0;
END;
GO

-- 0 and the caller may act on entry @id; else the code.
CREATE OR ALTER FUNCTION dbo.zuninput_entry_right (@id int)
RETURNS int
AS
BEGIN
  IF NOT EXISTS (SELECT 1 FROM dbo.import_files WHERE id = @id) RETURN 50101;
  IF EXISTS (SELECT 1 FROM dbo.users WHERE name = USER_NAME() AND is_admin = 1) RETURN 0;
  IF EXISTS (SELECT 1 FROM dbo.import_files f JOIN dbo.users u ON u.uid = f.uid
             WHERE f.id = @id AND u.name = USER_NAME()) RETURN 0;
  RETURN 50108;
END;
GO

CREATE OR ALTER PROCEDURE dbo.ImportFilesGet
  @id int
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @code int = dbo.zuninput_entry_right(@id);
  IF @code <> 0 RETURN @code;
  IF EXISTS (SELECT 1 FROM dbo.import_files WHERE id = @id AND conteudo IS NULL) RETURN 50110;
  SELECT id, conteudo FROM dbo.import_files WHERE id = @id;
  RETURN 0;
END;
GO

-- The entry's line messages, every try's (@try NULL) or one try's, oldest
-- try first and in the order stored.
CREATE OR ALTER PROCEDURE dbo.ImportFilesErrosGet
  @id int,
  @try int = NULL
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @code int = dbo.zuninput_entry_right(@id);
  IF @code <> 0 RETURN @code;
  SELECT importtry AS [try], line, code, reason, msg AS message, linetext AS [text]
  FROM dbo.import_file_errors WHERE id = @id AND (@try IS NULL OR importtry = @try)
  ORDER BY importtry, seq;
  RETURN 0;
END;
GO

CREATE OR ALTER PROCEDURE dbo.ImportFilesAdd
  @usuario nvarchar(128),
  @prioridade int = NULL,
  @filename nvarchar(260),
  @conteudo varbinary(max),
  @id int OUTPUT
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @uid int = (SELECT uid FROM dbo.users WHERE name = @usuario);
  IF @uid IS NULL RETURN 50109;
  IF @usuario <> USER_NAME()
     AND NOT EXISTS (SELECT 1 FROM dbo.users WHERE name = USER_NAME() AND is_admin = 1)
    RETURN 50108;
  INSERT INTO dbo.import_files (uid, prioridade, mom, filename, importtries, conteudo, done)
  VALUES (@uid, ISNULL(@prioridade, 5), SYSUTCDATETIME(), @filename, 0, @conteudo, 0);
  SET @id = CAST(SCOPE_IDENTITY() AS int);
  RETURN 0;
END;
GO

CREATE OR ALTER PROCEDURE dbo.ImportFilesRepete
  @id int,
  @repetida bit OUTPUT
AS
BEGIN
  SET NOCOUNT ON;
  SET @repetida = 0;
  BEGIN TRANSACTION;
  DECLARE @code int = dbo.zuninput_entry_right(@id);
  DECLARE @done int, @sem int, @tries int, @importando int;
  SELECT @done = done, @sem = CASE WHEN conteudo IS NULL THEN 1 ELSE 0 END, @tries = importtries,
    @importando = CASE WHEN taken_until > SYSUTCDATETIME() THEN 1 ELSE 0 END
  FROM dbo.import_files WITH (UPDLOCK, HOLDLOCK) WHERE id = @id;
  IF @code = 0 AND @done <> 0 SET @code = 50103;
  IF @code = 0 AND @sem = 1 SET @code = 50110;
  IF @code = 0 AND @importando = 1 SET @code = 50111;
  IF @code = 0 AND @tries >= 2
  BEGIN
    UPDATE dbo.import_files SET importtries = 1, result = NULL, result_mom = NULL,
      taken_until = NULL WHERE id = @id;
    SET @repetida = 1;
  END;
  COMMIT;
  RETURN @code;
END;
GO

CREATE OR ALTER PROCEDURE dbo.ImportFilesCancela
  @id int
AS
BEGIN
  SET NOCOUNT ON;
  BEGIN TRANSACTION;
  DECLARE @code int = dbo.zuninput_entry_right(@id);
  IF @code = 0 AND EXISTS (SELECT 1 FROM dbo.import_files WITH (UPDLOCK, HOLDLOCK)
                           WHERE id = @id AND done = 1 AND result = 0)
    SET @code = 50103;
  IF @code = 0 AND EXISTS (SELECT 1 FROM dbo.import_files
                           WHERE id = @id AND taken_until > SYSUTCDATETIME())
    SET @code = 50111;
  IF @code = 0
  BEGIN
    DELETE FROM dbo.import_file_errors WHERE id = @id;
    DELETE FROM dbo.import_files_retoma WHERE id = @id;
    DELETE FROM dbo.import_files WHERE id = @id;
  END;
  COMMIT;
  RETURN @code;
END;
GO

CREATE OR ALTER PROCEDURE dbo.ImportFilesPurga
  @antes datetime2(3),
  @apagadas int OUTPUT
AS
BEGIN
  SET NOCOUNT ON;
  SET @apagadas = 0;
  IF NOT EXISTS (SELECT 1 FROM dbo.users WHERE name = USER_NAME() AND is_admin = 1) RETURN 50108;
  BEGIN TRANSACTION;
  DELETE e FROM dbo.import_file_errors e JOIN dbo.import_files f ON f.id = e.id
  WHERE f.done = 1 AND f.result = 0 AND f.result_mom < @antes;
  DELETE FROM dbo.import_files WHERE done = 1 AND result = 0 AND result_mom < @antes;
  SET @apagadas = @@ROWCOUNT;
  COMMIT;
  RETURN 0;
END;
GO
