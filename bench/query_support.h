// The benchmarks' live query: a connection to a database directory and a
// TNdsQuery over one SELECT, as an application sets them up.
#ifndef BENCH_QUERY_SUPPORT_H_
#define BENCH_QUERY_SUPPORT_H_

#include <string>

#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"

namespace bench {

// A connection to a database directory and a live query over `select`.
struct OpenQuery {
  nds::TNdsConnection connection{nullptr};
  nds::TNdsQuery query{nullptr};

  OpenQuery(const std::string& dir, const std::string& select) {
    connection.SetName("Bench");
    connection.SetNdsServerTypes(nds::TNdsServerTypes{nds::stNDS_LOCAL});
    connection.SetLoginPrompt(false);
    connection.SetConnectPath(dir);
    query.SetNdsConnection(&connection);
    query.SetRequestLive(true);
    dataset::TStringList lines;
    lines.SetText(select);
    query.SetSQL(&lines);
  }
};

}  // namespace bench

#endif  // BENCH_QUERY_SUPPORT_H_
