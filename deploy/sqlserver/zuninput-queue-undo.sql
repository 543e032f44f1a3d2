-- ZunInput: undoes zuninput-queue.sql, step by step in reverse order, and
-- gives the queue back its own "ImportFilesNext" and "ImportFilesResult".
--
-- NOT EXECUTED HERE (no SQL Server on the machines this project is built
-- on). Safe to run twice. The lease columns and the two tables go with
-- their contents: the resume marks and the stored line messages are lost.
-- Stop every service process first: after the undo the service's procedure
-- check finds the queue without its additions and the service goes without
-- them.

SET XACT_ABORT ON;
GO

-- Step 9.
DROP PROCEDURE IF EXISTS dbo.ImportFilesPurga, dbo.ImportFilesCancela, dbo.ImportFilesRepete,
  dbo.ImportFilesAdd, dbo.ImportFilesErrosGet, dbo.ImportFilesGet, dbo.ImportFilesLista;
DROP FUNCTION IF EXISTS dbo.zuninput_entry_right;
GO
-- Steps 8, 7, 6.
DROP PROCEDURE IF EXISTS dbo.ImportFilesMarca, dbo.ImportFilesRenova, dbo.ImportFilesErros;
GO
-- Steps 5 and 4: the saved definitions come back (none saved: the procedure
-- did not exist before).
DROP PROCEDURE IF EXISTS dbo.ImportFilesResult, dbo.ImportFilesNext;
GO
IF OBJECT_ID(N'dbo.zuninput_saved_procs', N'U') IS NOT NULL
BEGIN
  DECLARE @def nvarchar(max);
  DECLARE saved CURSOR LOCAL FAST_FORWARD FOR
    SELECT definition FROM dbo.zuninput_saved_procs WHERE definition IS NOT NULL;
  OPEN saved;
  FETCH NEXT FROM saved INTO @def;
  WHILE @@FETCH_STATUS = 0
  BEGIN
    EXEC sys.sp_executesql @def;
    FETCH NEXT FROM saved INTO @def;
  END;
  CLOSE saved;
  DEALLOCATE saved;
END
GO
-- Step 3.
DROP TABLE IF EXISTS dbo.import_file_errors, dbo.import_files_retoma;
GO
-- Step 2: only the columns the script added.
IF OBJECT_ID(N'dbo.zuninput_saved_procs', N'U') IS NOT NULL
BEGIN
IF OBJECT_ID(N'DF_import_files_lease', N'D') IS NOT NULL
  ALTER TABLE dbo.import_files DROP CONSTRAINT DF_import_files_lease;
IF EXISTS (SELECT 1 FROM dbo.zuninput_saved_procs WHERE name = N'column:lease')
  ALTER TABLE dbo.import_files DROP COLUMN lease;
IF EXISTS (SELECT 1 FROM dbo.zuninput_saved_procs WHERE name = N'column:taken_until')
  ALTER TABLE dbo.import_files DROP COLUMN taken_until;
END
GO
-- Step 1.
DROP TABLE IF EXISTS dbo.zuninput_saved_procs;
GO
