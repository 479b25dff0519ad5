/*
 * nce/nce_errors.h: the engine error numbers every function of the C
 * interface returns and keeps as the last error. Included by nce/nce.h;
 * include that instead.
 */
#ifndef NCE_NCE_ERRORS_H
#define NCE_NCE_ERRORS_H

/* ------------------------------------------------------------------------ */
/* Error numbers. Returned by every function and kept as the last error. The
 * numbers a calling component tests for keep the meaning its step relies on. */

#define NDS_SUCCESS 0u
#define NDS_E_GENERAL 5000u          /* failure without a more precise number */
#define NDS_E_MEMORY 5001u           /* out of memory */
#define NDS_E_INVALID_ARGUMENT 5003u /* null pointer or value out of range */
#define NDS_E_NOT_SUPPORTED 5004u    /* function not offered by this engine (yet) */
#define NDS_E_INSUFFICIENT_BUFFER \
  5005u /* buffer too small; also "one is set" answer of NdsGetAOF/NdsGetFilter */
#define NDS_E_INVALID_OPTION 5006u    /* unknown option or code */
#define NDS_E_NO_CONNECTION 5007u     /* handle is not an open connection */
#define NDS_E_INVALID_PATH 5008u      /* path missing, a file, unreadable, or not a database */
#define NDS_E_INVALID_TABLE 5010u     /* table does not exist */
#define NDS_E_INVALID_FIELD 5012u     /* no such field, or parameter number out of range */
#define NDS_E_NOT_CUSTOM_INDEX 5017u  /* index is not a custom index */
#define NDS_E_INVALID_HANDLE 5018u    /* handle unknown or of the wrong kind */
#define NDS_E_INVALID_RECORD 5022u    /* bad record number or bookmark */
#define NDS_E_NOT_CONNECTED 5024u     /* disconnect of a connection already gone */
#define NDS_E_LOCK_FAILED 5035u       /* record or table locked by someone else */
#define NDS_E_NO_FILTER 5037u         /* no filter (or AOF) set */
#define NDS_E_NO_SCOPE 5038u          /* no scope set at that end */
#define NDS_E_NO_POSITION 5041u       /* relative key position not available */
#define NDS_E_TRANSACTION_OPEN 5045u  /* a transaction is already open */
#define NDS_E_NO_TRANSACTION 5046u    /* commit or rollback without a transaction */
#define NDS_E_RIGHTS 5054u            /* rights refusal (components store their own under it) */
#define NDS_E_NO_MORE_TABLES 5059u    /* table search finished */
#define NDS_E_STATIC_VIEW 5064u       /* cursor is a static view, cannot be updated */
#define NDS_E_NO_CURRENT_RECORD 5068u /* no current record (at BOF/EOF, or invisible) */
#define NDS_E_NOT_EDITING 5085u       /* nothing to cancel */
#define NDS_E_LOGIN_FAILED 5093u      /* wrong user name or password for a dictionary */
#define NDS_E_BAD_EXPRESSION 5100u    /* expression cannot be parsed */
#define NDS_E_UNKNOWN_STATEMENT 5106u /* statement handle the engine does not know */
#define NDS_E_NO_COUNT 5117u          /* statement has no rows-affected count */
#define NDS_E_COMPONENT 5121u         /* components' own refusals (never set by the engine) */
#define NDS_E_NO_MORE_OBJECTS 5137u   /* dictionary object search finished */
#define NDS_E_PROPERTY_NOT_SET 5138u  /* dictionary property has no value */
#define NDS_E_NOT_PREPARED 5107u      /* statement executed before it was prepared */
#define NDS_E_BUSY 5090u              /* store locked by another writer past the busy timeout */
#define NDS_E_REMOTE_SERVER 5091u     /* server type mask does not allow the path's kind */
/* A value that does not suit its field; the text names the field as
 * column "NAME" (the component layer reads the name out of it). */
#define NDS_E_VALUE_TOO_LONG 5147u /* value longer or larger than the field holds */
#define NDS_E_VALUE_INVALID 5148u  /* value not valid for the field's type */
#define NDS_E_VALUE_REQUIRED 5149u /* field may not be empty */
#define NDS_E_RECORD_CHANGED 5186u /* record changed by another user (optimistic lock) */
#define NDS_E_BAD_FILE 5150u       /* a file to import is not of its format, or is damaged */
#define NDS_E_TABLE_EXISTS 5151u   /* import into an existing table without replace or append */
#define NDS_E_CANCELLED 5152u      /* an import or export stopped by its progress function */
#define NDS_E_SQL 7200u            /* SQL failure; text carries "NativeError = n;" */
#define NDS_E_SQL_REPREPARE 7209u  /* statement must be prepared again */

/* Length of the text buffer callers give NdsGetLastError. */
#define NDS_MAX_ERROR_LEN 600u

#endif /* NCE_NCE_ERRORS_H */
