/*
 * nce/nce_codes.h: the codes and option bits the functions of the C
 * interface take and answer: server types and connect options, statement
 * options, field types, counting, scopes, seeks, index flags, optimized
 * filters, binary kinds and data dictionary objects. Included by
 * nce/nce.h; include that instead.
 */
#ifndef NCE_NCE_CODES_H
#define NCE_NCE_CODES_H

/* ------------------------------------------------------------------------ */
/* Connecting. Server type mask bits of NdsConnect60 (TNdsServerType members
 * sum to the mask). A path is a local database (a directory or a .ndd file)
 * or a PostgreSQL server (postgresql://user@host:port/database; the password
 * comes from PGPASSWORD or the password file, never from the path). A local
 * path needs the local bit, a server path the remote bit; otherwise the
 * connect fails with NDS_E_REMOTE_SERVER. A mask of 0 means "local". */

#define NDS_LOCAL_SERVER 1u
#define NDS_REMOTE_SERVER 2u
#define NDS_AIS_SERVER 4u

/* Connect option bits of NdsConnect60 (the sum of the values that apply).
 * Compression and communication choices concern remote servers; the local
 * engine accepts and ignores them. */
#define NDS_OPT_MIDDLE_TIER 1u
#define NDS_OPT_STORED_PROCEDURE 2u
#define NDS_OPT_COMPRESS_ALWAYS 4u
#define NDS_OPT_COMPRESS_NEVER 8u
#define NDS_OPT_COMPRESS_INTERNET 12u
#define NDS_OPT_UDP_IP 32u
#define NDS_OPT_IPX 64u
#define NDS_OPT_TCP_IP 128u

/* Connection types answered by NdsGetConnectionType. */
#define NDS_CONNECTION_LOCAL 1u
#define NDS_CONNECTION_REMOTE 2u
#define NDS_CONNECTION_INTERNET 4u

/* Handle types answered by NdsGetHandleType. */
#define NDS_HANDLE_CONNECTION 1u
#define NDS_HANDLE_TABLE 2u
#define NDS_HANDLE_INDEX_ORDER 3u
#define NDS_HANDLE_STATEMENT 4u
#define NDS_HANDLE_CURSOR 5u
#define NDS_HANDLE_FIND 6u

/* ------------------------------------------------------------------------ */
/* Statement options (NdsStmtSet*), recorded per statement.                  */

/* Table types: NdsStmtSetTableType, NdsGetTableType. 3 is the binary NDT
 * table; 1 and 2 are the DBF kinds whose record images use text forms. */
#define NDS_NTX 1u
#define NDS_CDX 2u
#define NDS_NDT 3u

/* Lock types: NdsStmtSetTableLockType. */
#define NDS_COMPATIBLE_LOCKING 0u
#define NDS_PROPRIETARY_LOCKING 1u

/* Character types: NdsStmtSetTableCharType, NdsGetTableCharType. */
#define NDS_ANSI 1u
#define NDS_OEM 2u

/* Rights checking: NdsStmtSetTableRights. */
#define NDS_CHECK_RIGHTS 1u
#define NDS_IGNORE_RIGHTS 2u

/* Cursor kind asked for: NdsStmtSetTableReadOnly. */
#define NDS_CURSOR_READONLY 1u
#define NDS_CURSOR_READWRITE 2u

/* NdsStmtConstrainUpdates and NdsStmtReadAllColumns. */
#define NDS_CONSTRAIN 1u
#define NDS_NO_CONSTRAIN 2u
#define NDS_READ_ALL_COLUMNS 1u
#define NDS_READ_SELECTED_COLUMNS 2u

/* ------------------------------------------------------------------------ */
/* Fields and record images.                                                 */

/* Engine field type codes (NdsGetFieldType), mapped to framework types by the
 * cursor dataset. 0, 19 and codes above 22 never occur. */
#define NDS_LOGICAL 1u
#define NDS_NUMERIC 2u
#define NDS_DATE 3u
#define NDS_STRING 4u
#define NDS_MEMO 5u
#define NDS_BINARY 6u
#define NDS_IMAGE 7u
#define NDS_VARCHAR 8u
#define NDS_COMPACTDATE 9u
#define NDS_DOUBLE 10u
#define NDS_INTEGER 11u
#define NDS_SHORTINT 12u
#define NDS_TIME 13u
#define NDS_TIMESTAMP 14u
#define NDS_AUTOINC 15u
#define NDS_RAW 16u
#define NDS_CURDOUBLE 17u
#define NDS_MONEY 18u
#define NDS_CISTRING 20u
#define NDS_ROWVERSION 21u
#define NDS_MODTIME 22u

/* Table open option bits (NdsGetTableOpenOptions). */
#define NDS_OPEN_EXCLUSIVE 0x01u
#define NDS_OPEN_READONLY 0x02u
#define NDS_OPEN_UPDATE_RIGHT 0x20u
#define NDS_OPEN_INSERT_RIGHT 0x40u

/* Column permission bits (NdsGetColumnPermissions). */
#define NDS_COLUMN_READ 0x01u
#define NDS_COLUMN_UPDATE 0x02u
#define NDS_COLUMN_INSERT 0x04u

/* Memo data types (NdsGetMemoDataType): text memo or binary contents. */
#define NDS_MEMO_TEXT NDS_MEMO
#define NDS_MEMO_BINARY NDS_BINARY

/* Option of NdsGetField: the value as stored (0), or with trailing blanks cut. */
#define NDS_NONE 0u
#define NDS_TRIM_RIGHT 2u

/* ------------------------------------------------------------------------ */
/* Counting and positions.                                                   */

/* Filter options of NdsGetRecordCount, NdsGetRecordNum and NdsGetKeyNum. Add
 * NDS_REFRESHCOUNT to NdsGetRecordCount's option to count afresh instead of
 * using a remembered count. On a statement handle NdsGetRecordCount answers
 * the rows the last execution changed. */
#define NDS_RESPECTFILTERS 1u
#define NDS_IGNOREFILTERS 2u
#define NDS_RESPECTSCOPES 3u
#define NDS_REFRESHCOUNT 4u

/* Scope ends: NdsSetScope, NdsGetScope, NdsClearScope. */
#define NDS_TOP 1u
#define NDS_BOTTOM 2u

/* Key kinds of NdsSetScope and NdsSeek. */
#define NDS_RAWKEY 1u
#define NDS_STRINGKEY 2u
#define NDS_DOUBLEKEY 4u

/* Seek kinds of NdsSeek. */
#define NDS_SOFTSEEK 0u
#define NDS_HARDSEEK 1u

/* Index flag bits (NdsGetIndexFlags). */
#define NDS_INDEX_UNIQUE 0x01u
#define NDS_INDEX_DESCENDING 0x08u
#define NDS_INDEX_CUSTOM 0x20u
#define NDS_INDEX_PRIMARY 0x100u

/* Option of NdsGetIndexFilename: the file's base name with its extension. */
#define NDS_BASENAME 1u
#define NDS_BASENAMEANDEXT 2u
#define NDS_FULLPATHNAME 3u

/* Optimized filter (AOF) options of NdsSetAOF: resolution plus type. */
#define NDS_RESOLVE_IMMEDIATE 1u
#define NDS_RESOLVE_DYNAMIC 2u
#define NDS_AOF_DYNAMIC 0u
#define NDS_AOF_KEYSET 4u
#define NDS_AOF_FIXED 8u

/* Binary kinds of NdsSetBinary. */
#define NDS_BINARY_DATA NDS_BINARY
#define NDS_IMAGE_DATA NDS_IMAGE

/* ------------------------------------------------------------------------ */
/* Data dictionary.                                                          */

#define NDS_DD_TABLE_OBJECT 1u /* NdsDDRenameObject object type, NdsDDFindFirstObject kind */
#define NDS_DD_USER_OBJECT 9u
#define NDS_DD_TABLE_LIST 10u              /* NdsDDFindFirstObject: the dictionary's tables */
#define NDS_DD_TABLE_DEFAULT_INDEX 213u    /* NdsDDGetTableProperty: name of the default index */
#define NDS_DD_USER_GROUP_MEMBERSHIP 1102u /* NdsDDGetUserProperty: groups, ";"-separated */

#endif /* NCE_NCE_CODES_H */
