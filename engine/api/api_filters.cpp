// Engine functions of filters, optimized filters, the exact setting and
// expressions evaluated on the current record.
#include "engine/api/api_index_support.h"
#include "engine/index/filter_conditions.h"

using namespace nce;

namespace {

NDSRESULT CopyFilter(const std::string& text, const char* what, char* buffer, uint16_t* length) {
  if (text.empty())
    throw EngineError(NDS_E_NO_FILTER, std::string("The cursor has no ") + what + ".");
  return CopyOut(text, buffer, length);
}

// Long and short forms of an expression differ in field names only; this
// engine's fields have one name each, so the forms are the same text.
NDSRESULT CopyExpression(NDSHANDLE handle, const char* from, char* to, uint16_t* length) {
  RequireArgument(from, "expression");
  RequireCursor(handle);
  return CopyOut(from, to, length);
}

}  // namespace

extern "C" {

NDSRESULT NdsSetFilter(NDSHANDLE handle, const char* expression) {
  return WithAnyCursor("NdsSetFilter", handle, [&](Cursor& cursor) {
    RequireArgument(expression, "filter expression");
    SetFilter(cursor, expression);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetFilter(NDSHANDLE handle, char* expression, uint16_t* length) {
  return WithAnyCursor("NdsGetFilter", handle, [&](Cursor& cursor) {
    return CopyFilter(OrdersOf(cursor).filter, "filter", expression, length);
  });
}

NDSRESULT NdsClearFilter(NDSHANDLE handle) {
  return WithAnyCursor("NdsClearFilter", handle, [&](Cursor& cursor) {
    if (!ClearFilter(cursor)) throw EngineError(NDS_E_NO_FILTER, "The cursor has no filter.");
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetAOF(NDSHANDLE handle, const char* expression, uint16_t options) {
  return WithAnyCursor("NdsSetAOF", handle, [&](Cursor& cursor) {
    RequireArgument(expression, "filter expression");
    SetOptimizedFilter(cursor, expression, options);
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetAOF(NDSHANDLE handle, char* expression, uint16_t* length) {
  return WithAnyCursor("NdsGetAOF", handle, [&](Cursor& cursor) {
    return CopyFilter(OrdersOf(cursor).aof, "optimized filter", expression, length);
  });
}

NDSRESULT NdsClearAOF(NDSHANDLE handle) {
  return WithAnyCursor("NdsClearAOF", handle, [&](Cursor& cursor) {
    if (!ClearOptimizedFilter(cursor))
      throw EngineError(NDS_E_NO_FILTER, "The cursor has no optimized filter.");
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsSetExact22(NDSHANDLE handle, uint16_t exact) {
  return WithAnyCursor("NdsSetExact22", handle, [&](Cursor& cursor) {
    OrdersOf(cursor).exact = exact != 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsGetExact22(NDSHANDLE handle, uint16_t* exact) {
  return WithAnyCursor("NdsGetExact22", handle, [&](Cursor& cursor) {
    RequireArgument(exact, "exact setting");
    *exact = OrdersOf(cursor).exact ? 1 : 0;
    return NDS_SUCCESS;
  });
}

NDSRESULT NdsExpressionLongToShort(NDSHANDLE handle, const char* longExpression,
                                   char* shortExpression, uint16_t* length) {
  return Guarded("NdsExpressionLongToShort",
                 [&] { return CopyExpression(handle, longExpression, shortExpression, length); });
}

NDSRESULT NdsExpressionShortToLong(NDSHANDLE handle, const char* shortExpression,
                                   char* longExpression, uint16_t* length) {
  return Guarded("NdsExpressionShortToLong",
                 [&] { return CopyExpression(handle, shortExpression, longExpression, length); });
}

NDSRESULT NdsEvalLogicalExpr(NDSHANDLE handle, const char* expression, uint16_t* result) {
  return WithAnyCursor("NdsEvalLogicalExpr", handle, [&](Cursor& cursor) {
    RequireArgument(expression, "expression");
    RequireArgument(result, "result");
    *result = EvaluateOnCurrent(cursor, expression) ? 1 : 0;
    return NDS_SUCCESS;
  });
}

}  // extern "C"
