/*
 * nce/nce_types.h: the basic types of the client engine's C interface and
 * the mark of its functions. Included by nce/nce.h; include that instead.
 */
#ifndef NCE_NCE_TYPES_H
#define NCE_NCE_TYPES_H

#include <stdint.h>

/* Marks the functions of this interface: the engine is built with hidden
 * visibility, so these are the only symbols its shared library exports. */
#if defined(__GNUC__)
#define NCE_API __attribute__((visibility("default")))
#else
#define NCE_API
#endif

/* ------------------------------------------------------------------------ */
/* Basic types.                                                              */

typedef uint32_t NDSRESULT;   /* 0 or an engine error number */
typedef uint32_t NDSHANDLE;   /* connection, cursor, index order, statement, find handle */
typedef const char* NDSFIELD; /* field name, or an ordinal from NDS_FIELD_ORDINAL */

/* Field and parameter ordinals travel in the place of a name: pointer values
 * up to NDS_MAX_FIELD_ORDINAL are read as 1-based numbers, never dereferenced. */
#define NDS_MAX_FIELD_ORDINAL 0xFFFFu
#define NDS_FIELD_ORDINAL(n) ((NDSFIELD)(uintptr_t)(n))

#endif /* NCE_NCE_TYPES_H */
