// Engine functions this version of the engine does not offer yet. Each
// answers NDS_E_NOT_SUPPORTED with a text naming itself, so a caller gets a
// clear engine error instead of a crash or a silent no-op.
#include "engine/api_support.h"

using namespace nce;

extern "C" {

NDSRESULT NdsGetServerTime(NDSHANDLE, char*, uint16_t*, int32_t*, char*, uint16_t*) {
  return Guarded("NdsGetServerTime", [] { return NotSupportedYet("NdsGetServerTime"); });
}

NDSRESULT NdsCloseCachedTables(NDSHANDLE) {
  return Guarded("NdsCloseCachedTables", [] { return NotSupportedYet("NdsCloseCachedTables"); });
}

NDSRESULT NdsCacheOpenTables(uint16_t) {
  return Guarded("NdsCacheOpenTables", [] { return NotSupportedYet("NdsCacheOpenTables"); });
}

NDSRESULT NdsCacheOpenCursors(uint16_t) {
  return Guarded("NdsCacheOpenCursors", [] { return NotSupportedYet("NdsCacheOpenCursors"); });
}

NDSRESULT NdsGetNumActiveLinks(NDSHANDLE, uint16_t*) {
  return Guarded("NdsGetNumActiveLinks", [] { return NotSupportedYet("NdsGetNumActiveLinks"); });
}

NDSRESULT NdsGetActiveLinkInfo(NDSHANDLE, uint16_t, char*, uint16_t*) {
  return Guarded("NdsGetActiveLinkInfo", [] { return NotSupportedYet("NdsGetActiveLinkInfo"); });
}

NDSRESULT NdsFindFirstTable(NDSHANDLE, const char*, char*, uint16_t*, NDSHANDLE*) {
  return Guarded("NdsFindFirstTable", [] { return NotSupportedYet("NdsFindFirstTable"); });
}

NDSRESULT NdsFindNextTable(NDSHANDLE, NDSHANDLE, char*, uint16_t*) {
  return Guarded("NdsFindNextTable", [] { return NotSupportedYet("NdsFindNextTable"); });
}

NDSRESULT NdsFindFirstTable62(NDSHANDLE, const char*, char*, uint16_t*, char*, uint16_t*, NDSHANDLE*) {
  return Guarded("NdsFindFirstTable62", [] { return NotSupportedYet("NdsFindFirstTable62"); });
}

NDSRESULT NdsFindNextTable62(NDSHANDLE, NDSHANDLE, char*, uint16_t*, char*, uint16_t*) {
  return Guarded("NdsFindNextTable62", [] { return NotSupportedYet("NdsFindNextTable62"); });
}

NDSRESULT NdsFindClose(NDSHANDLE, NDSHANDLE) {
  return Guarded("NdsFindClose", [] { return NotSupportedYet("NdsFindClose"); });
}

NDSRESULT NdsDDFindFirstObject(NDSHANDLE, uint16_t, const char*, char*, uint16_t*, NDSHANDLE*) {
  return Guarded("NdsDDFindFirstObject", [] { return NotSupportedYet("NdsDDFindFirstObject"); });
}

NDSRESULT NdsDDFindNextObject(NDSHANDLE, NDSHANDLE, char*, uint16_t*) {
  return Guarded("NdsDDFindNextObject", [] { return NotSupportedYet("NdsDDFindNextObject"); });
}

NDSRESULT NdsDDFindClose(NDSHANDLE, NDSHANDLE) {
  return Guarded("NdsDDFindClose", [] { return NotSupportedYet("NdsDDFindClose"); });
}

NDSRESULT NdsDDGetUserProperty(NDSHANDLE, const char*, uint16_t, void*, uint16_t*) {
  return Guarded("NdsDDGetUserProperty", [] { return NotSupportedYet("NdsDDGetUserProperty"); });
}

NDSRESULT NdsDDGetTableProperty(NDSHANDLE, const char*, uint16_t, void*, uint16_t*) {
  return Guarded("NdsDDGetTableProperty", [] { return NotSupportedYet("NdsDDGetTableProperty"); });
}

NDSRESULT NdsDDRenameObject(NDSHANDLE, const char*, const char*, uint16_t, uint32_t) {
  return Guarded("NdsDDRenameObject", [] { return NotSupportedYet("NdsDDRenameObject"); });
}

NDSRESULT NdsCacheRecords(NDSHANDLE, uint16_t) {
  return Guarded("NdsCacheRecords", [] { return NotSupportedYet("NdsCacheRecords"); });
}

NDSRESULT NdsGetRecord(NDSHANDLE, void*, uint32_t*) {
  return Guarded("NdsGetRecord", [] { return NotSupportedYet("NdsGetRecord"); });
}

NDSRESULT NdsClearRecordBuffer(NDSHANDLE, void*, uint32_t) {
  return Guarded("NdsClearRecordBuffer", [] { return NotSupportedYet("NdsClearRecordBuffer"); });
}

NDSRESULT NdsGetNullRecord(NDSHANDLE, void*, uint32_t) {
  return Guarded("NdsGetNullRecord", [] { return NotSupportedYet("NdsGetNullRecord"); });
}

NDSRESULT NdsGetField(NDSHANDLE, NDSFIELD, void*, uint32_t*, uint16_t) {
  return Guarded("NdsGetField", [] { return NotSupportedYet("NdsGetField"); });
}

NDSRESULT NdsIsEmpty(NDSHANDLE, NDSFIELD, uint16_t*) {
  return Guarded("NdsIsEmpty", [] { return NotSupportedYet("NdsIsEmpty"); });
}

NDSRESULT NdsGetRecordNum(NDSHANDLE, uint16_t, uint32_t*) {
  return Guarded("NdsGetRecordNum", [] { return NotSupportedYet("NdsGetRecordNum"); });
}

NDSRESULT NdsGetRecordCRC(NDSHANDLE, uint32_t*, uint32_t) {
  return Guarded("NdsGetRecordCRC", [] { return NotSupportedYet("NdsGetRecordCRC"); });
}

NDSRESULT NdsIsRecordDeleted(NDSHANDLE, uint16_t*) {
  return Guarded("NdsIsRecordDeleted", [] { return NotSupportedYet("NdsIsRecordDeleted"); });
}

NDSRESULT NdsGetDeleted(uint16_t*) {
  return Guarded("NdsGetDeleted", [] { return NotSupportedYet("NdsGetDeleted"); });
}

NDSRESULT NdsRefreshRecord(NDSHANDLE) {
  return Guarded("NdsRefreshRecord", [] { return NotSupportedYet("NdsRefreshRecord"); });
}

NDSRESULT NdsGotoTop(NDSHANDLE) {
  return Guarded("NdsGotoTop", [] { return NotSupportedYet("NdsGotoTop"); });
}

NDSRESULT NdsGotoBottom(NDSHANDLE) {
  return Guarded("NdsGotoBottom", [] { return NotSupportedYet("NdsGotoBottom"); });
}

NDSRESULT NdsGotoBOF(NDSHANDLE) {
  return Guarded("NdsGotoBOF", [] { return NotSupportedYet("NdsGotoBOF"); });
}

NDSRESULT NdsGotoRecord(NDSHANDLE, uint32_t) {
  return Guarded("NdsGotoRecord", [] { return NotSupportedYet("NdsGotoRecord"); });
}

NDSRESULT NdsSkip(NDSHANDLE, int32_t) {
  return Guarded("NdsSkip", [] { return NotSupportedYet("NdsSkip"); });
}

NDSRESULT NdsAtEOF(NDSHANDLE, uint16_t*) {
  return Guarded("NdsAtEOF", [] { return NotSupportedYet("NdsAtEOF"); });
}

NDSRESULT NdsAtBOF(NDSHANDLE, uint16_t*) {
  return Guarded("NdsAtBOF", [] { return NotSupportedYet("NdsAtBOF"); });
}

NDSRESULT NdsIsRecordVisible(NDSHANDLE, uint16_t*) {
  return Guarded("NdsIsRecordVisible", [] { return NotSupportedYet("NdsIsRecordVisible"); });
}

NDSRESULT NdsGetKeyNum(NDSHANDLE, uint16_t, uint32_t*) {
  return Guarded("NdsGetKeyNum", [] { return NotSupportedYet("NdsGetKeyNum"); });
}

NDSRESULT NdsGetRelKeyPos(NDSHANDLE, double*) {
  return Guarded("NdsGetRelKeyPos", [] { return NotSupportedYet("NdsGetRelKeyPos"); });
}

NDSRESULT NdsSetRelKeyPos(NDSHANDLE, double) {
  return Guarded("NdsSetRelKeyPos", [] { return NotSupportedYet("NdsSetRelKeyPos"); });
}

NDSRESULT NdsGetBookmarkLength(NDSHANDLE, uint32_t*) {
  return Guarded("NdsGetBookmarkLength", [] { return NotSupportedYet("NdsGetBookmarkLength"); });
}

NDSRESULT NdsGetBookmark(NDSHANDLE, NDSHANDLE*) {
  return Guarded("NdsGetBookmark", [] { return NotSupportedYet("NdsGetBookmark"); });
}

NDSRESULT NdsGetBookmark60(NDSHANDLE, void*, uint32_t*) {
  return Guarded("NdsGetBookmark60", [] { return NotSupportedYet("NdsGetBookmark60"); });
}

NDSRESULT NdsGotoBookmark(NDSHANDLE, NDSHANDLE) {
  return Guarded("NdsGotoBookmark", [] { return NotSupportedYet("NdsGotoBookmark"); });
}

NDSRESULT NdsCompareBookmarks(const void*, const void*, int32_t*) {
  return Guarded("NdsCompareBookmarks", [] { return NotSupportedYet("NdsCompareBookmarks"); });
}

NDSRESULT NdsAppendRecord(NDSHANDLE) {
  return Guarded("NdsAppendRecord", [] { return NotSupportedYet("NdsAppendRecord"); });
}

NDSRESULT NdsWriteRecord(NDSHANDLE) {
  return Guarded("NdsWriteRecord", [] { return NotSupportedYet("NdsWriteRecord"); });
}

NDSRESULT NdsCancelUpdate(NDSHANDLE) {
  return Guarded("NdsCancelUpdate", [] { return NotSupportedYet("NdsCancelUpdate"); });
}

NDSRESULT NdsDeleteRecord(NDSHANDLE) {
  return Guarded("NdsDeleteRecord", [] { return NotSupportedYet("NdsDeleteRecord"); });
}

NDSRESULT NdsLockRecord(NDSHANDLE, uint32_t) {
  return Guarded("NdsLockRecord", [] { return NotSupportedYet("NdsLockRecord"); });
}

NDSRESULT NdsUnlockRecord(NDSHANDLE, uint32_t) {
  return Guarded("NdsUnlockRecord", [] { return NotSupportedYet("NdsUnlockRecord"); });
}

NDSRESULT NdsGetMemoDataType(NDSHANDLE, NDSFIELD, uint16_t*) {
  return Guarded("NdsGetMemoDataType", [] { return NotSupportedYet("NdsGetMemoDataType"); });
}

NDSRESULT NdsGetMemoLength(NDSHANDLE, NDSFIELD, uint32_t*) {
  return Guarded("NdsGetMemoLength", [] { return NotSupportedYet("NdsGetMemoLength"); });
}

NDSRESULT NdsGetBinaryLength(NDSHANDLE, NDSFIELD, uint32_t*) {
  return Guarded("NdsGetBinaryLength", [] { return NotSupportedYet("NdsGetBinaryLength"); });
}

NDSRESULT NdsGetBinary(NDSHANDLE, NDSFIELD, uint32_t, void*, uint32_t*) {
  return Guarded("NdsGetBinary", [] { return NotSupportedYet("NdsGetBinary"); });
}

NDSRESULT NdsOpenIndex(NDSHANDLE, const char*, NDSHANDLE*, uint16_t*) {
  return Guarded("NdsOpenIndex", [] { return NotSupportedYet("NdsOpenIndex"); });
}

NDSRESULT NdsCloseIndex(NDSHANDLE) {
  return Guarded("NdsCloseIndex", [] { return NotSupportedYet("NdsCloseIndex"); });
}

NDSRESULT NdsGetNumIndexes(NDSHANDLE, uint16_t*) {
  return Guarded("NdsGetNumIndexes", [] { return NotSupportedYet("NdsGetNumIndexes"); });
}

NDSRESULT NdsGetAllIndexes(NDSHANDLE, NDSHANDLE*, uint16_t*) {
  return Guarded("NdsGetAllIndexes", [] { return NotSupportedYet("NdsGetAllIndexes"); });
}

NDSRESULT NdsGetIndexHandle(NDSHANDLE, const char*, NDSHANDLE*) {
  return Guarded("NdsGetIndexHandle", [] { return NotSupportedYet("NdsGetIndexHandle"); });
}

NDSRESULT NdsGetIndexName(NDSHANDLE, char*, uint16_t*) {
  return Guarded("NdsGetIndexName", [] { return NotSupportedYet("NdsGetIndexName"); });
}

NDSRESULT NdsGetIndexFilename(NDSHANDLE, uint16_t, char*, uint16_t*) {
  return Guarded("NdsGetIndexFilename", [] { return NotSupportedYet("NdsGetIndexFilename"); });
}

NDSRESULT NdsGetIndexPageSize(NDSHANDLE, uint32_t*) {
  return Guarded("NdsGetIndexPageSize", [] { return NotSupportedYet("NdsGetIndexPageSize"); });
}

NDSRESULT NdsGetIndexFlags(NDSHANDLE, uint32_t*) {
  return Guarded("NdsGetIndexFlags", [] { return NotSupportedYet("NdsGetIndexFlags"); });
}

NDSRESULT NdsGetIndexCondition(NDSHANDLE, char*, uint16_t*) {
  return Guarded("NdsGetIndexCondition", [] { return NotSupportedYet("NdsGetIndexCondition"); });
}

NDSRESULT NdsGetNumSegments(NDSHANDLE, uint16_t*) {
  return Guarded("NdsGetNumSegments", [] { return NotSupportedYet("NdsGetNumSegments"); });
}

NDSRESULT NdsGetSegmentFieldname(NDSHANDLE, uint16_t, char*, uint16_t*) {
  return Guarded("NdsGetSegmentFieldname", [] { return NotSupportedYet("NdsGetSegmentFieldname"); });
}

NDSRESULT NdsIsIndexDescending(NDSHANDLE, uint16_t*) {
  return Guarded("NdsIsIndexDescending", [] { return NotSupportedYet("NdsIsIndexDescending"); });
}

NDSRESULT NdsIsIndexUnique(NDSHANDLE, uint16_t*) {
  return Guarded("NdsIsIndexUnique", [] { return NotSupportedYet("NdsIsIndexUnique"); });
}

NDSRESULT NdsIsIndexPrimaryKey(NDSHANDLE, uint16_t*) {
  return Guarded("NdsIsIndexPrimaryKey", [] { return NotSupportedYet("NdsIsIndexPrimaryKey"); });
}

NDSRESULT NdsIsIndexCustom(NDSHANDLE, uint16_t*) {
  return Guarded("NdsIsIndexCustom", [] { return NotSupportedYet("NdsIsIndexCustom"); });
}

NDSRESULT NdsInitRawKey(NDSHANDLE) {
  return Guarded("NdsInitRawKey", [] { return NotSupportedYet("NdsInitRawKey"); });
}

NDSRESULT NdsBuildRawKey(NDSHANDLE, void*, uint16_t*) {
  return Guarded("NdsBuildRawKey", [] { return NotSupportedYet("NdsBuildRawKey"); });
}

NDSRESULT NdsSetScope(NDSHANDLE, uint16_t, const void*, uint16_t, uint16_t) {
  return Guarded("NdsSetScope", [] { return NotSupportedYet("NdsSetScope"); });
}

NDSRESULT NdsGetScope(NDSHANDLE, uint16_t, void*, uint16_t*) {
  return Guarded("NdsGetScope", [] { return NotSupportedYet("NdsGetScope"); });
}

NDSRESULT NdsClearScope(NDSHANDLE, uint16_t) {
  return Guarded("NdsClearScope", [] { return NotSupportedYet("NdsClearScope"); });
}

NDSRESULT NdsClearAllScopes(NDSHANDLE) {
  return Guarded("NdsClearAllScopes", [] { return NotSupportedYet("NdsClearAllScopes"); });
}

NDSRESULT NdsSeek(NDSHANDLE, const void*, uint16_t, uint16_t, uint16_t, uint16_t*) {
  return Guarded("NdsSeek", [] { return NotSupportedYet("NdsSeek"); });
}

NDSRESULT NdsSetFilter(NDSHANDLE, const char*) {
  return Guarded("NdsSetFilter", [] { return NotSupportedYet("NdsSetFilter"); });
}

NDSRESULT NdsGetFilter(NDSHANDLE, char*, uint16_t*) {
  return Guarded("NdsGetFilter", [] { return NotSupportedYet("NdsGetFilter"); });
}

NDSRESULT NdsClearFilter(NDSHANDLE) {
  return Guarded("NdsClearFilter", [] { return NotSupportedYet("NdsClearFilter"); });
}

NDSRESULT NdsSetAOF(NDSHANDLE, const char*, uint16_t) {
  return Guarded("NdsSetAOF", [] { return NotSupportedYet("NdsSetAOF"); });
}

NDSRESULT NdsGetAOF(NDSHANDLE, char*, uint16_t*) {
  return Guarded("NdsGetAOF", [] { return NotSupportedYet("NdsGetAOF"); });
}

NDSRESULT NdsClearAOF(NDSHANDLE) {
  return Guarded("NdsClearAOF", [] { return NotSupportedYet("NdsClearAOF"); });
}

NDSRESULT NdsSetExact22(NDSHANDLE, uint16_t) {
  return Guarded("NdsSetExact22", [] { return NotSupportedYet("NdsSetExact22"); });
}

NDSRESULT NdsGetExact22(NDSHANDLE, uint16_t*) {
  return Guarded("NdsGetExact22", [] { return NotSupportedYet("NdsGetExact22"); });
}

NDSRESULT NdsExpressionLongToShort(NDSHANDLE, const char*, char*, uint16_t*) {
  return Guarded("NdsExpressionLongToShort", [] { return NotSupportedYet("NdsExpressionLongToShort"); });
}

NDSRESULT NdsExpressionShortToLong(NDSHANDLE, const char*, char*, uint16_t*) {
  return Guarded("NdsExpressionShortToLong", [] { return NotSupportedYet("NdsExpressionShortToLong"); });
}

NDSRESULT NdsEvalLogicalExpr(NDSHANDLE, const char*, uint16_t*) {
  return Guarded("NdsEvalLogicalExpr", [] { return NotSupportedYet("NdsEvalLogicalExpr"); });
}

}  // extern "C"
