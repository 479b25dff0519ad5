CREATE TABLE IF NOT EXISTS _nce_tables(
  name text PRIMARY KEY,
  table_type integer NOT NULL,
  char_type integer NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS _nce_fields(
  table_name text NOT NULL,
  position integer NOT NULL,
  name text NOT NULL,
  field_type integer NOT NULL,
  length integer NOT NULL,
  decimals integer NOT NULL DEFAULT 0,
  PRIMARY KEY(table_name, position));
CREATE TABLE IF NOT EXISTS _nce_autoinc(
  table_name text NOT NULL,
  field_name text NOT NULL,
  last_value numeric NOT NULL,
  PRIMARY KEY(table_name, field_name));
CREATE TABLE IF NOT EXISTS _nce_rowversions(
  table_name text PRIMARY KEY,
  last_value bigint NOT NULL);
CREATE TABLE IF NOT EXISTS _nce_server(version text NOT NULL);
-- Deletion marks of DBF-kind tables (CDX, NTX), as a SQLite store keeps
-- them (catalog_schema.h): a row per record marked deleted, under the
-- table's name as the server holds it (lower case).
CREATE TABLE IF NOT EXISTS _nce_deleted(
  table_name text NOT NULL,
  record bigint NOT NULL,
  PRIMARY KEY(table_name, record));
-- Takes the marks of the rows a statement deleted from a DBF-kind table (a
-- pack, a zap, any SQL DELETE or TRUNCATE) with them, so that no later row
-- of the same number starts out marked. Runs once per statement.
CREATE OR REPLACE FUNCTION nce_forget_marks() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'TRUNCATE' THEN
    DELETE FROM _nce_deleted WHERE table_name = TG_TABLE_NAME;
  ELSE
    DELETE FROM _nce_deleted WHERE table_name = TG_TABLE_NAME
       AND record IN (SELECT rowid FROM nce_old);
  END IF;
  RETURN NULL;
END $$;
-- The data dictionary: the rows a SQLite dictionary keeps in its tables of
-- the same names (catalog_schema.h). Names are compared without regard to
-- letter case by the engine, which reads and writes these rows whole.
CREATE TABLE IF NOT EXISTS _nce_users(
  name text PRIMARY KEY,
  password_hash text NOT NULL,
  groups text NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS _nce_groups(name text PRIMARY KEY);
CREATE TABLE IF NOT EXISTS _nce_rights(
  grantee text NOT NULL,
  table_name text NOT NULL,
  column_name text NOT NULL DEFAULT '',
  rights integer NOT NULL,
  PRIMARY KEY(grantee, table_name, column_name));
CREATE TABLE IF NOT EXISTS _nce_table_properties(
  table_name text NOT NULL,
  property integer NOT NULL,
  value text NOT NULL,
  PRIMARY KEY(table_name, property));
-- A counter that every change of users, groups or rights moves on, so that
-- open connections notice an administrator's change at their next statement.
CREATE TABLE IF NOT EXISTS _nce_rights_version(version bigint NOT NULL);
INSERT INTO _nce_rights_version SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM _nce_rights_version);
CREATE OR REPLACE FUNCTION nce_rights_counted() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  UPDATE _nce_rights_version SET version = version + 1;
  RETURN NULL;
END $$;
DROP TRIGGER IF EXISTS nce_rights_counted ON _nce_users;
CREATE TRIGGER nce_rights_counted AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON _nce_users
  FOR EACH STATEMENT EXECUTE FUNCTION nce_rights_counted();
DROP TRIGGER IF EXISTS nce_rights_counted ON _nce_groups;
CREATE TRIGGER nce_rights_counted AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON _nce_groups
  FOR EACH STATEMENT EXECUTE FUNCTION nce_rights_counted();
DROP TRIGGER IF EXISTS nce_rights_counted ON _nce_rights;
CREATE TRIGGER nce_rights_counted AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON _nce_rights
  FOR EACH STATEMENT EXECUTE FUNCTION nce_rights_counted();
-- Index files and orders as in a SQLite store (catalog_schema.h); names
-- compare without regard to letter case where they are read.
CREATE TABLE IF NOT EXISTS _nce_index_files(
  table_name text NOT NULL,
  file_name text NOT NULL,
  PRIMARY KEY(table_name, file_name));
CREATE TABLE IF NOT EXISTS _nce_index_orders(
  table_name text NOT NULL,
  file_name text NOT NULL,
  order_name text NOT NULL,
  position integer NOT NULL,
  expression text NOT NULL,
  condition text NOT NULL DEFAULT '',
  flags bigint NOT NULL DEFAULT 0,
  sqlite_index text NOT NULL,
  PRIMARY KEY(table_name, order_name));
-- Numbers the AUTOINC field TG_ARGV[0] of a row being inserted, as the
-- SQLite store's triggers do: a row that leaves it NULL takes the counter
-- plus one, a row that gives a number moves the counter up to it. The
-- counter never goes back, so a deleted number is not handed out again;
-- its row lock keeps two inserting transactions from taking the same one.
CREATE OR REPLACE FUNCTION nce_autoinc() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  given numeric := (to_jsonb(NEW) ->> TG_ARGV[0])::numeric;
  next_value numeric;
BEGIN
  UPDATE _nce_autoinc SET last_value = CASE WHEN given IS NULL THEN last_value + 1
                                            ELSE greatest(last_value, given) END
   WHERE table_name = TG_TABLE_NAME AND field_name = TG_ARGV[0]
  RETURNING last_value INTO next_value;
  IF next_value IS NULL THEN
    RAISE EXCEPTION 'The AUTOINC field % of table % has no counter.', TG_ARGV[0], TG_TABLE_NAME;
  END IF;
  IF given IS NULL THEN
    NEW := jsonb_populate_record(NEW, jsonb_build_object(TG_ARGV[0], next_value));
  END IF;
  RETURN NEW;
END $$;
-- Makes SQL writes of an engine table honour the record locks of other
-- sessions (PostgresSession::TryLockRecord: key (table oid << 32) | record,
-- record 0 the whole table), as the SQLite store's statement locks do: a
-- statement that inserts into a table another session opened exclusively,
-- or that changes or deletes a record another session locked, fails and
-- changes nothing. Runs once per statement, over the rows it touched.
CREATE OR REPLACE FUNCTION nce_honour_locks() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  here oid := (SELECT oid FROM pg_database WHERE datname = current_database());
  hit bigint;
BEGIN
  PERFORM 1 FROM pg_locks l
   WHERE l.locktype = 'advisory' AND l.objsubid = 1 AND l.granted AND l.database = here
     AND l.mode = 'ExclusiveLock' AND l.classid = TG_RELID AND l.pid <> pg_backend_pid();
  IF NOT FOUND THEN
    RETURN NULL;
  END IF;
  PERFORM 1 FROM pg_locks l
   WHERE l.locktype = 'advisory' AND l.objsubid = 1 AND l.granted AND l.database = here
     AND l.mode = 'ExclusiveLock' AND l.classid = TG_RELID AND l.objid = 0
     AND l.pid <> pg_backend_pid();
  IF FOUND THEN
    RAISE EXCEPTION 'The table % is opened exclusively by another user.', TG_TABLE_NAME
      USING ERRCODE = 'NC001';
  END IF;
  IF TG_OP = 'INSERT' THEN
    RETURN NULL;
  END IF;
  SELECT o.rowid INTO hit FROM nce_old o JOIN pg_locks l
      ON l.locktype = 'advisory' AND l.objsubid = 1 AND l.granted AND l.database = here
     AND l.mode = 'ExclusiveLock' AND l.classid = TG_RELID AND l.objid = o.rowid::oid
     AND l.pid <> pg_backend_pid()
   ORDER BY o.rowid LIMIT 1;
  IF hit IS NOT NULL THEN
    RAISE EXCEPTION 'Record % of table % is locked by another user.', hit, TG_TABLE_NAME
      USING ERRCODE = 'NC001';
  END IF;
  RETURN NULL;
END $$;
