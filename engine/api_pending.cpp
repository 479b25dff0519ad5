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

}  // extern "C"
