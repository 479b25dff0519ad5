/*
 * nce/nce.h: the client engine's C interface, the only part of the engine
 * that libnce.so exports.
 *
 * Every database operation of the component layer goes through the functions
 * declared here; the library `nce` (engine/) implements them over SQLite. The
 * interface is plain C so that callers depend on nothing but this header,
 * which includes the rest of the interface from headers beside it: the
 * basic types (nce/nce_types.h), the error numbers (nce/nce_errors.h) and
 * the codes and option bits the functions take and answer (nce/nce_codes.h).
 *
 * Conventions shared by every function:
 *  - Each returns an NDSRESULT: 0 (NDS_SUCCESS) or an engine error number. On
 *    failure the number and a text are also kept as the calling thread's last
 *    error (NdsGetLastError).
 *  - Objects are named by 32-bit handles (NDSHANDLE). 0 is never a valid
 *    handle; a closed or unknown handle is an error, never a crash.
 *  - Texts are 8-bit and zero-terminated. Where a function fills a caller's
 *    buffer it takes the buffer's size in an in/out length argument and
 *    writes back the length of the text (without the terminating zero); a
 *    buffer that is too small gets as much as fits, the full length is
 *    written back and the call answers NDS_E_INSUFFICIENT_BUFFER (5005). A
 *    null buffer with length 0 asks for the length only.
 *  - Fields are named by NDSFIELD: either a field name or, through
 *    NDS_FIELD_ORDINAL(n), the field's 1-based number. For an SQL statement
 *    the ordinal is the parameter's position in the statement text.
 */
#ifndef NCE_NCE_H
#define NCE_NCE_H

#include <stdint.h>

#include "nce_codes.h"
#include "nce_errors.h"
#include "nce_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Connections and server information.                                       */

NCE_API NDSRESULT NdsConnect60(const char* serverPath, uint16_t serverTypes, const char* userName,
                               const char* password, uint32_t options, NDSHANDLE* connection);
NCE_API NDSRESULT NdsConnect(const char* serverPath, NDSHANDLE* connection);
NCE_API NDSRESULT NdsDisconnect(NDSHANDLE connection);
NCE_API NDSRESULT NdsIsConnectionAlive(NDSHANDLE connection, uint16_t* alive);
NCE_API NDSRESULT NdsGetConnectionType(NDSHANDLE connection, uint16_t* connectionType);
NCE_API NDSRESULT NdsGetServerName(NDSHANDLE connection, char* name, uint16_t* length);
NCE_API NDSRESULT NdsGetServerTime(NDSHANDLE connection, char* date, uint16_t* dateLength,
                                   int32_t* milliseconds, char* time, uint16_t* timeLength);
NCE_API NDSRESULT NdsGetVersion(uint32_t* major, uint32_t* minor, char* letter, char* description,
                                uint16_t* descriptionLength);
NCE_API NDSRESULT NdsGetHandleType(NDSHANDLE handle, uint16_t* handleType);
NCE_API NDSRESULT NdsCloseCachedTables(NDSHANDLE connection);
NCE_API NDSRESULT NdsCacheOpenTables(uint16_t count);
NCE_API NDSRESULT NdsCacheOpenCursors(uint16_t count);
NCE_API NDSRESULT NdsGetNumActiveLinks(NDSHANDLE connection, uint16_t* count);
NCE_API NDSRESULT NdsGetActiveLinkInfo(NDSHANDLE connection, uint16_t index, char* info,
                                       uint16_t* length);

/* Table search under a directory mask (or a dictionary's tables). */
NCE_API NDSRESULT NdsFindFirstTable(NDSHANDLE connection, const char* mask, char* name,
                                    uint16_t* length, NDSHANDLE* find);
NCE_API NDSRESULT NdsFindNextTable(NDSHANDLE connection, NDSHANDLE find, char* name,
                                   uint16_t* length);
NCE_API NDSRESULT NdsFindFirstTable62(NDSHANDLE connection, const char* mask, char* name1,
                                      uint16_t* length1, char* name2, uint16_t* length2,
                                      NDSHANDLE* find);
NCE_API NDSRESULT NdsFindNextTable62(NDSHANDLE connection, NDSHANDLE find, char* name1,
                                     uint16_t* length1, char* name2, uint16_t* length2);
NCE_API NDSRESULT NdsFindClose(NDSHANDLE connection, NDSHANDLE find);

/* Data dictionary. */
NCE_API NDSRESULT NdsDDFindFirstObject(NDSHANDLE connection, uint16_t objectKind,
                                       const char* parentName, char* name, uint16_t* length,
                                       NDSHANDLE* find);
NCE_API NDSRESULT NdsDDFindNextObject(NDSHANDLE connection, NDSHANDLE find, char* name,
                                      uint16_t* length);
NCE_API NDSRESULT NdsDDFindClose(NDSHANDLE connection, NDSHANDLE find);
NCE_API NDSRESULT NdsDDGetUserProperty(NDSHANDLE connection, const char* userName,
                                       uint16_t property, void* buffer, uint16_t* length);
NCE_API NDSRESULT NdsDDGetTableProperty(NDSHANDLE connection, const char* tableName,
                                        uint16_t property, void* buffer, uint16_t* length);
NCE_API NDSRESULT NdsDDRenameObject(NDSHANDLE connection, const char* objectName,
                                    const char* newName, uint16_t objectType, uint32_t options);

/* ------------------------------------------------------------------------ */
/* Transactions on a connection. Savepoint options must be 0.               */

NCE_API NDSRESULT NdsBeginTransaction(NDSHANDLE connection);
NCE_API NDSRESULT NdsCommitTransaction(NDSHANDLE connection);
NCE_API NDSRESULT NdsRollbackTransaction(NDSHANDLE connection);
NCE_API NDSRESULT NdsCreateSavepoint(NDSHANDLE connection, const char* savepoint, uint32_t options);
NCE_API NDSRESULT NdsRollbackTransaction80(NDSHANDLE connection, const char* savepoint,
                                           uint32_t options);
NCE_API NDSRESULT NdsInTransaction(NDSHANDLE connection, uint16_t* inTransaction);

/* ------------------------------------------------------------------------ */
/* SQL statements.                                                           */

NCE_API NDSRESULT NdsCreateSQLStatement(NDSHANDLE connection, NDSHANDLE* statement);
NCE_API NDSRESULT NdsCloseSQLStatement(NDSHANDLE statement);
NCE_API NDSRESULT NdsStmtSetTableType(NDSHANDLE statement, uint16_t tableType);
NCE_API NDSRESULT NdsStmtSetTableCharType(NDSHANDLE statement, uint16_t charType);
NCE_API NDSRESULT NdsStmtSetTableLockType(NDSHANDLE statement, uint16_t lockType);
NCE_API NDSRESULT NdsStmtSetTableRights(NDSHANDLE statement, uint16_t checkRights);
NCE_API NDSRESULT NdsStmtSetTableReadOnly(NDSHANDLE statement, uint16_t readOnly);
NCE_API NDSRESULT NdsStmtConstrainUpdates(NDSHANDLE statement, uint16_t constrain);
NCE_API NDSRESULT NdsStmtReadAllColumns(NDSHANDLE statement, uint16_t readAllColumns);
/* Prepares a text of one or more statements; every ":name" and "?" outside
 * quotes and comments is its own parameter, numbered from 1 in order. */
NCE_API NDSRESULT NdsPrepareSQL(NDSHANDLE statement, const char* sql);
/* Runs the prepared text; cursor (may be null) receives the cursor of the
 * last statement that yields rows, or 0 when none does. A live cursor holds
 * its table as a shared open (NdsOpenTable) does: NDS_E_LOCK_FAILED while
 * another user has the table open exclusively. */
NCE_API NDSRESULT NdsExecuteSQL(NDSHANDLE statement, NDSHANDLE* cursor);
NCE_API NDSRESULT NdsExecuteSQLDirect(NDSHANDLE statement, const char* sql, NDSHANDLE* cursor);
/* Lists the parameter markers of an SQL text, ";"-separated ("?" for an
 * unnamed one); names may be null with *length 0 to check the text only. */
NCE_API NDSRESULT NdsGetSQLStmtParams(const char* sql, char* names, uint32_t* length);
/* Live flag of a cursor: 0 static (read-only copy), 1 live on its table. */
NCE_API NDSRESULT NdsSqlPeekStatement(NDSHANDLE cursor, uint8_t* live);
NCE_API NDSRESULT NdsGetLastAutoinc(NDSHANDLE handle, uint32_t* value);

/* ------------------------------------------------------------------------ */
/* Value setters: statement parameters (by ordinal) and the fields of a
 * cursor's record being edited or of a raw key being built.                 */

NCE_API NDSRESULT NdsSetString(NDSHANDLE handle, NDSFIELD field, const char* value,
                               uint32_t length);
NCE_API NDSRESULT NdsSetLogical(NDSHANDLE handle, NDSFIELD field, uint16_t value);
NCE_API NDSRESULT NdsSetDouble(NDSHANDLE handle, NDSFIELD field, double value);
NCE_API NDSRESULT NdsSetJulian(NDSHANDLE handle, NDSFIELD field, int32_t julianDay);
NCE_API NDSRESULT NdsSetMilliseconds(NDSHANDLE handle, NDSFIELD field, int32_t milliseconds);
/* 8 bytes: little-endian 32-bit Julian day, then 32-bit milliseconds. */
NCE_API NDSRESULT NdsSetTimeStampRaw(NDSHANDLE handle, NDSFIELD field, const void* value,
                                     uint32_t length);
NCE_API NDSRESULT NdsSetBinary(NDSHANDLE handle, NDSFIELD field, uint16_t binaryType,
                               uint32_t totalLength, uint32_t offset, const void* value,
                               uint32_t length);
NCE_API NDSRESULT NdsSetEmpty(NDSHANDLE handle, NDSFIELD field);
/* Text form of the value (as in a DBF record image). */
NCE_API NDSRESULT NdsSetField(NDSHANDLE handle, NDSFIELD field, const void* value, uint32_t length);
/* Record-image form of the value (the bytes at the field's offset). */
NCE_API NDSRESULT NdsSetFieldRaw(NDSHANDLE handle, NDSFIELD field, const void* value,
                                 uint32_t length);

/* ------------------------------------------------------------------------ */
/* Cursors: tables and result sets.                                          */

/* Opens table `tableName` of the connection's database as a cursor in
 * record-number order. tableType 0 takes the table's own type; options are
 * NDS_OPEN_EXCLUSIVE and NDS_OPEN_READONLY; charType is NDS_ANSI or NDS_OEM
 * (0 for the table's own). */
NCE_API NDSRESULT NdsOpenTable(NDSHANDLE connection, const char* tableName, uint16_t tableType,
                               uint16_t charType, uint32_t options, NDSHANDLE* cursor);
/* Ends a cursor: unwritten edits are written, its record locks released. */
NCE_API NDSRESULT NdsCloseTable(NDSHANDLE cursor);
NCE_API NDSRESULT NdsGetTableType(NDSHANDLE cursor, uint16_t* tableType);
NCE_API NDSRESULT NdsGetTableCharType(NDSHANDLE cursor, uint16_t* charType);
NCE_API NDSRESULT NdsGetTableOpenOptions(NDSHANDLE cursor, uint32_t* options);
NCE_API NDSRESULT NdsGetRecordLength(NDSHANDLE cursor, uint32_t* length);
NCE_API NDSRESULT NdsCacheRecords(NDSHANDLE cursor, uint16_t records);
NCE_API NDSRESULT NdsGetNumFields(NDSHANDLE cursor, uint16_t* count);
NCE_API NDSRESULT NdsGetFieldName(NDSHANDLE cursor, uint16_t fieldNumber, char* name,
                                  uint16_t* length);
NCE_API NDSRESULT NdsGetFieldType(NDSHANDLE cursor, NDSFIELD field, uint16_t* fieldType);
NCE_API NDSRESULT NdsGetFieldLength(NDSHANDLE cursor, NDSFIELD field, uint32_t* length);
NCE_API NDSRESULT NdsGetFieldDecimals(NDSHANDLE cursor, NDSFIELD field, uint16_t* decimals);
NCE_API NDSRESULT NdsGetFieldOffset(NDSHANDLE cursor, NDSFIELD field, uint32_t* offset);
NCE_API NDSRESULT NdsGetColumnPermissions(NDSHANDLE cursor, NDSFIELD field, uint8_t* permissions);

/* Records and record images. */
NCE_API NDSRESULT NdsGetRecord(NDSHANDLE cursor, void* record, uint32_t* length);
/* The current record image, its bookmark and its record number in one call:
 * what NdsGetRecord, NdsGetBookmark60 and NdsGetRecordNum (NDS_IGNOREFILTERS)
 * answer one by one, for readers that keep all three with every record they
 * buffer. A bookmark names its record in every order of the cursor.
 * `bookmark` with `bookmarkLength` and `recordNumber` may be null when not
 * wanted. A buffer too small gets what fits and the call answers
 * NDS_E_INSUFFICIENT_BUFFER with the needed length written back. */
NCE_API NDSRESULT NdsGetRecordWithBookmark(NDSHANDLE cursor, void* record, uint32_t* length,
                                           void* bookmark, uint32_t* bookmarkLength,
                                           uint32_t* recordNumber);
/* NdsSkip by `records` on a cursor or one of its orders, then
 * NdsGetRecordWithBookmark on the record reached, in one call: the fetch of
 * a reader that walks record by record. When the move ends past the last
 * record (`records` > 0) or before the first (`records` < 0), *atEdge is 1
 * and no record is written; with `records` 0 the cursor stays where it is
 * and *atEdge tells whether it stands at either end. */
NCE_API NDSRESULT NdsSkipAndGetRecord(NDSHANDLE handle, int32_t records, void* record,
                                      uint32_t* length, void* bookmark, uint32_t* bookmarkLength,
                                      uint32_t* recordNumber, uint16_t* atEdge);
/* The current record of a cursor or one of its orders, as a reader of the
 * record it stands on takes it, in one call: *place is NDS_PLACE_RECORD on a
 * record the order shows, and the image, bookmark and record number are
 * written as by NdsGetRecordWithBookmark; NDS_PLACE_EOF or NDS_PLACE_BOF at
 * an end (NdsAtEOF, NdsAtBOF); NDS_PLACE_HIDDEN on a record its filters,
 * scopes or deleted-record setting hide (a bookmark or a record number can
 * put the cursor there) or on none. Off a shown record nothing is written. */
#define NDS_PLACE_RECORD 0u
#define NDS_PLACE_EOF 1u
#define NDS_PLACE_BOF 2u
#define NDS_PLACE_HIDDEN 3u
NCE_API NDSRESULT NdsGetVisibleRecord(NDSHANDLE handle, void* record, uint32_t* length,
                                      void* bookmark, uint32_t* bookmarkLength,
                                      uint32_t* recordNumber, uint16_t* place);
NCE_API NDSRESULT NdsClearRecordBuffer(NDSHANDLE cursor, void* record, uint32_t length);
NCE_API NDSRESULT NdsGetNullRecord(NDSHANDLE cursor, void* record, uint32_t length);
/* The field's value of the current record as text: strings and memos as
 * stored (strings of an NDS_OEM cursor in the OEM form, see
 * NdsSetTextCharType),
 * numbers in decimal, dates as YYYYMMDD, logicals as T or F. With
 * NDS_TRIM_RIGHT trailing blanks are cut. */
NCE_API NDSRESULT NdsGetField(NDSHANDLE cursor, NDSFIELD field, void* value, uint32_t* length,
                              uint16_t option);
NCE_API NDSRESULT NdsIsEmpty(NDSHANDLE cursor, NDSFIELD field, uint16_t* empty);
NCE_API NDSRESULT NdsGetRecordNum(NDSHANDLE cursor, uint16_t filterOption, uint32_t* recordNumber);
NCE_API NDSRESULT NdsGetRecordCount(NDSHANDLE handle, uint16_t filterOption, uint32_t* count);
NCE_API NDSRESULT NdsGetRecordCRC(NDSHANDLE cursor, uint32_t* crc, uint32_t option);
NCE_API NDSRESULT NdsIsRecordDeleted(NDSHANDLE cursor, uint16_t* deleted);
/* Whether cursors show records marked deleted in DBF-kind tables; one
 * setting for the process, off (hidden) at start. */
NCE_API NDSRESULT NdsShowDeleted(uint16_t showDeleted);
NCE_API NDSRESULT NdsGetDeleted(uint16_t* showDeleted);
NCE_API NDSRESULT NdsRefreshRecord(NDSHANDLE cursor);

/* Navigation. A handle is a cursor or one of its index orders. */
NCE_API NDSRESULT NdsGotoTop(NDSHANDLE handle);
NCE_API NDSRESULT NdsGotoBottom(NDSHANDLE handle);
NCE_API NDSRESULT NdsGotoBOF(NDSHANDLE handle);
NCE_API NDSRESULT NdsGotoRecord(NDSHANDLE cursor, uint32_t recordNumber);
NCE_API NDSRESULT NdsSkip(NDSHANDLE handle, int32_t records);
NCE_API NDSRESULT NdsAtEOF(NDSHANDLE cursor, uint16_t* atEnd);
NCE_API NDSRESULT NdsAtBOF(NDSHANDLE cursor, uint16_t* atBeginning);
NCE_API NDSRESULT NdsIsRecordVisible(NDSHANDLE handle, uint16_t* visible);
NCE_API NDSRESULT NdsGetKeyNum(NDSHANDLE order, uint16_t filterOption, uint32_t* keyNumber);
NCE_API NDSRESULT NdsGetRelKeyPos(NDSHANDLE order, double* position);
NCE_API NDSRESULT NdsSetRelKeyPos(NDSHANDLE order, double position);

/* Bookmarks: a bookmark's first 32-bit word is what NdsGetBookmark gives and
 * NdsGotoBookmark takes. */
NCE_API NDSRESULT NdsGetBookmarkLength(NDSHANDLE handle, uint32_t* length);
NCE_API NDSRESULT NdsGetBookmark(NDSHANDLE handle, NDSHANDLE* bookmark);
NCE_API NDSRESULT NdsGetBookmark60(NDSHANDLE handle, void* bookmark, uint32_t* length);
NCE_API NDSRESULT NdsGotoBookmark(NDSHANDLE cursor, NDSHANDLE bookmark);
NCE_API NDSRESULT NdsCompareBookmarks(const void* bookmark1, const void* bookmark2,
                                      int32_t* result);

/* Editing and record locks. */
NCE_API NDSRESULT NdsAppendRecord(NDSHANDLE cursor);
NCE_API NDSRESULT NdsWriteRecord(NDSHANDLE cursor);
NCE_API NDSRESULT NdsCancelUpdate(NDSHANDLE cursor);
NCE_API NDSRESULT NdsDeleteRecord(NDSHANDLE cursor);
/* recordNumber 0 locks or unlocks the current record. */
NCE_API NDSRESULT NdsLockRecord(NDSHANDLE cursor, uint32_t recordNumber);
NCE_API NDSRESULT NdsUnlockRecord(NDSHANDLE cursor, uint32_t recordNumber);

/* Blobs (memo, binary, image, variable character). */
NCE_API NDSRESULT NdsGetMemoDataType(NDSHANDLE cursor, NDSFIELD field, uint16_t* memoType);
NCE_API NDSRESULT NdsGetMemoLength(NDSHANDLE cursor, NDSFIELD field, uint32_t* length);
NCE_API NDSRESULT NdsGetBinaryLength(NDSHANDLE cursor, NDSFIELD field, uint32_t* length);
NCE_API NDSRESULT NdsGetBinary(NDSHANDLE cursor, NDSFIELD field, uint32_t offset, void* buffer,
                               uint32_t* length);

/* ------------------------------------------------------------------------ */
/* Index files and index orders.                                             */

NCE_API NDSRESULT NdsOpenIndex(NDSHANDLE cursor, const char* indexFile, NDSHANDLE* orders,
                               uint16_t* count);
NCE_API NDSRESULT NdsCloseIndex(NDSHANDLE order);
/* Creates index order `orderName` on the cursor's table with the key
 * `expression` (segments separated by ";") and an optional `condition`, in
 * `indexFile` (null or "" for the table's structural file); options are
 * NDS_INDEX_UNIQUE, NDS_INDEX_DESCENDING and NDS_INDEX_PRIMARY. The new
 * order is open on the cursor. */
NCE_API NDSRESULT NdsCreateIndex(NDSHANDLE cursor, const char* indexFile, const char* orderName,
                                 const char* expression, const char* condition, uint32_t options,
                                 NDSHANDLE* order);
NCE_API NDSRESULT NdsGetNumIndexes(NDSHANDLE cursor, uint16_t* count);
NCE_API NDSRESULT NdsGetAllIndexes(NDSHANDLE cursor, NDSHANDLE* orders, uint16_t* count);
/* orderName null or "": the order the cursor walks in, 0 in record-number order. */
NCE_API NDSRESULT NdsGetIndexHandle(NDSHANDLE cursor, const char* orderName, NDSHANDLE* order);
NCE_API NDSRESULT NdsGetIndexName(NDSHANDLE order, char* name, uint16_t* length);
NCE_API NDSRESULT NdsGetIndexFilename(NDSHANDLE order, uint16_t option, char* name,
                                      uint16_t* length);
NCE_API NDSRESULT NdsGetIndexPageSize(NDSHANDLE order, uint32_t* pageSize);
NCE_API NDSRESULT NdsGetIndexFlags(NDSHANDLE order, uint32_t* flags);
NCE_API NDSRESULT NdsGetIndexCondition(NDSHANDLE order, char* condition, uint16_t* length);
NCE_API NDSRESULT NdsGetNumSegments(NDSHANDLE order, uint16_t* count);
NCE_API NDSRESULT NdsGetSegmentFieldname(NDSHANDLE order, uint16_t segment, char* name,
                                         uint16_t* length);
NCE_API NDSRESULT NdsIsIndexDescending(NDSHANDLE order, uint16_t* descending);
NCE_API NDSRESULT NdsIsIndexUnique(NDSHANDLE order, uint16_t* unique);
NCE_API NDSRESULT NdsIsIndexPrimaryKey(NDSHANDLE order, uint16_t* primaryKey);
NCE_API NDSRESULT NdsIsIndexCustom(NDSHANDLE order, uint16_t* custom);

/* Keys, scopes and seeks. */
NCE_API NDSRESULT NdsInitRawKey(NDSHANDLE order);
NCE_API NDSRESULT NdsBuildRawKey(NDSHANDLE order, void* key, uint16_t* length);
NCE_API NDSRESULT NdsSetScope(NDSHANDLE order, uint16_t scopeEnd, const void* key, uint16_t length,
                              uint16_t keyType);
NCE_API NDSRESULT NdsGetScope(NDSHANDLE order, uint16_t scopeEnd, void* key, uint16_t* length);
NCE_API NDSRESULT NdsClearScope(NDSHANDLE order, uint16_t scopeEnd);
NCE_API NDSRESULT NdsClearAllScopes(NDSHANDLE cursor);
NCE_API NDSRESULT NdsSeek(NDSHANDLE order, const void* key, uint16_t length, uint16_t keyType,
                          uint16_t seekType, uint16_t* found);

/* Filters, optimized filters and expressions. */
NCE_API NDSRESULT NdsSetFilter(NDSHANDLE cursor, const char* expression);
NCE_API NDSRESULT NdsGetFilter(NDSHANDLE cursor, char* expression, uint16_t* length);
NCE_API NDSRESULT NdsClearFilter(NDSHANDLE cursor);
NCE_API NDSRESULT NdsSetAOF(NDSHANDLE cursor, const char* expression, uint16_t options);
NCE_API NDSRESULT NdsGetAOF(NDSHANDLE cursor, char* expression, uint16_t* length);
NCE_API NDSRESULT NdsClearAOF(NDSHANDLE cursor);
NCE_API NDSRESULT NdsSetExact22(NDSHANDLE cursor, uint16_t exact);
NCE_API NDSRESULT NdsGetExact22(NDSHANDLE cursor, uint16_t* exact);
NCE_API NDSRESULT NdsExpressionLongToShort(NDSHANDLE cursor, const char* longExpression,
                                           char* shortExpression, uint16_t* length);
NCE_API NDSRESULT NdsExpressionShortToLong(NDSHANDLE cursor, const char* shortExpression,
                                           char* longExpression, uint16_t* length);
NCE_API NDSRESULT NdsEvalLogicalExpr(NDSHANDLE handle, const char* expression, uint16_t* result);

/* ------------------------------------------------------------------------ */
/* Data in and out: xBase tables (.dbf, with their .dbt or .fpt memo files)
 * and CSV files (RFC 4180, a header line), chosen by the file's extension.
 * An import makes the whole table or nothing; an export writes the whole
 * file or nothing. docs/IMPORT_EXPORT.md lists the type map both ways.   */

/* NDSTRANSFER.options bits. */
#define NDS_TRANSFER_REPLACE 0x01u      /* import: drop an existing table first */
#define NDS_TRANSFER_APPEND 0x02u       /* import: add the rows to an existing table */
#define NDS_TRANSFER_KEEP_DELETED 0x04u /* xBase: keep deleted records, marked deleted */

/* xBase versions (NDSTRANSFER.dbfVersion) an export writes; 0 chooses the
 * oldest that holds every column of the table. */
#define NDS_DBF_DBASE3 1u /* dBase III, .dbt memos */
#define NDS_DBF_DBASE4 2u /* dBase IV, .dbt memos with block headers */
#define NDS_DBF_FOXPRO 3u /* FoxPro 2, .fpt memos */
#define NDS_DBF_VFP 4u    /* Visual FoxPro: integers, money, timestamps, NULLs */

typedef struct NDSTRANSFER {
  uint32_t size;        /* sizeof(NDSTRANSFER), so that the structure can grow */
  uint32_t options;     /* NDS_TRANSFER_* bits */
  const char* encoding; /* the file's text encoding ("CP850", "UTF-8"); null
                           or "": an xBase table's own code page (its language
                           driver byte; CP1252 where it names none), UTF-8 for CSV */
  uint32_t dbfVersion;  /* export to xBase: NDS_DBF_* or 0 */
  /* Called now and then with the work done and the whole (bytes of the file
   * for an import, rows for an export; 0 when not known); an answer other
   * than 0 stops the work, leaves nothing behind and fails the call with
   * NDS_E_CANCELLED. Null: never called. */
  int32_t (*progress)(void* context, uint64_t done, uint64_t total);
  void* context;
  uint64_t rows; /* out: the rows imported or exported */
} NDSTRANSFER;

/* Imports `file` into table `table` of the connection's database (null or
 * "": the file's name without its extension). transfer may be null. */
NCE_API NDSRESULT NdsImportTable(NDSHANDLE connection, const char* file, const char* table,
                                 NDSTRANSFER* transfer);
/* Exports `source`, a table's name or a SELECT statement, to `file`. */
NCE_API NDSRESULT NdsExportTable(NDSHANDLE connection, const char* source, const char* file,
                                 NDSTRANSFER* transfer);
/* The xBase tables (.dbf files) in the directory of a local database that
 * are not tables of it: their paths, each followed by a newline, the file
 * names as the file system spells them. A server's database has no
 * directory: "". */
NCE_API NDSRESULT NdsGetUnimportedTables(NDSHANDLE connection, char* names, uint32_t* length);

/* ------------------------------------------------------------------------ */
/* Dates. Julian day numbers count days from 1 January 4713 BC; date texts
 * are "YYYYMMDD" (also accepted: "YYYY-MM-DD", "MM/DD/YYYY").               */

NCE_API NDSRESULT NdsConvertStringToJulian(const char* date, uint16_t length, double* julian);
NCE_API NDSRESULT NdsConvertJulianToString(double julian, char* date, uint16_t* length);
NCE_API NDSRESULT NdsConvertDateToJulian(NDSHANDLE connection, const char* date, uint16_t length,
                                         double* julian);

/* ------------------------------------------------------------------------ */
/* Character types. The stores keep text as UTF-8, and an NDS_ANSI cursor
 * shows it so. An NDS_OEM cursor shows its string fields (NDS_STRING,
 * NDS_CISTRING) in code page 437, as a DOS program reads them: in its record
 * images and in NdsGetField; NdsSetField and NdsSetFieldRaw take them back
 * in that form, every byte exactly. A stored character the code page lacks
 * shows as '?'; a text written back as the cursor showed it keeps what is
 * stored, so such characters survive a record read and written back.
 * NdsSetString takes a text as stored on every cursor (a character the code
 * page lacks can be written so), and memos, keys and SQL travel as stored. */

/* The character type in which a cursor's texts travel from now on: its
 * record images, NdsGetField, NdsSetField and NdsSetFieldRaw. A cursor
 * starts with its own (NdsGetTableCharType), which this leaves as it is;
 * NDS_ANSI lets a caller that keeps texts as stored read and write an OEM
 * cursor's texts so, every character exactly. */
NCE_API NDSRESULT NdsSetTextCharType(NDSHANDLE cursor, uint16_t charType);

/* ------------------------------------------------------------------------ */
/* Errors, kept per thread.                                                  */

/* Fills the last error's number and text (length in/out). */
NCE_API NDSRESULT NdsGetLastError(uint32_t* error, char* text, uint16_t* length);
/* Stores a caller's number and text as the last error; returns the number. */
NCE_API NDSRESULT NdsSetLastError(uint32_t error, const char* text);
/* Writes the last error, under the title, to the standard error stream. */
NCE_API NDSRESULT NdsShowError(const char* title);

#ifdef __cplusplus
}
#endif

#endif /* NCE_NCE_H */
