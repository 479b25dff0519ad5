// The component layer's one include point of the client engine: its public C
// interface. Component units include this header and nothing else of the
// engine.
#ifndef NDS_NCE_H
#define NDS_NCE_H

#include "nce/nce.h"

#endif  // NDS_NCE_H
