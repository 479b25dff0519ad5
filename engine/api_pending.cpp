// Engine functions this version of the engine does not offer yet. Each
// answers NDS_E_NOT_SUPPORTED with a text naming itself, so a caller gets a
// clear engine error instead of a crash or a silent no-op.
#include "engine/api_support.h"

using namespace nce;

extern "C" {

NDSRESULT NdsGetServerTime(NDSHANDLE, char*, uint16_t*, int32_t*, char*, uint16_t*) {
  return Guarded("NdsGetServerTime", [] { return NotSupportedYet("NdsGetServerTime"); });
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
