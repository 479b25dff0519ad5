// volantra-demo-db DIR: builds a demo Volantra database with archive damage
// in DIR and writes DIR/nds.ini whose alias VOLANTRAX names it.
// volantra-demo-db URI: builds it in an existing database on a PostgreSQL
// server; the site's nds.ini is the user's to write.
#include <cstdio>

#include "tools/demo_database.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr,
                 "usage: volantra-demo-db DIR | postgresql://USER@HOST:PORT/DB\n"
                 "Builds a demo Volantra database with archive damage in DIR and writes\n"
                 "DIR/nds.ini whose alias VOLANTRAX names it, or builds it in an existing\n"
                 "database on a PostgreSQL server.\n");
    return 2;
  }
  try {
    const demo::BuildSummary summary = demo::BuildDemoDatabase(argv[1]);
    std::printf("volantra-demo-db: %d tables, %d rows in %s\n", summary.tables, summary.rows,
                argv[1]);
    std::printf("archive damage: %d live rows already archived, %d duplicate archive rows\n",
                summary.stale_live_rows, summary.duplicate_archive);
    if (demo::IsServerUri(argv[1]))
      std::printf("name it in the site's nds.ini: [Databases] VOLANTRAX=%s\n", argv[1]);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "volantra-demo-db: %s\n", error.what());
    return 1;
  }
}
