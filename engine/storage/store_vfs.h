// The file layer every store connection opens its file through: SQLite's
// own, with a window over the WAL file. A transaction larger than SQLite's
// page cache writes its pages to the WAL as it goes, two writes per page
// (the frame header, then the page); the commit reads back every frame after
// the first page that was written twice, to chain the checksums again; the
// checkpoint reads every frame once more. The window gathers these small
// reads and writes into one system call per 64 KiB.
//
// Nothing is published early: the window is written out before each sync,
// and before each use of the shared WAL index (its locks, barrier and
// mapping), which is how other connections learn about new frames. Only the
// WAL of a main store file is windowed; every other file is SQLite's own.
#ifndef ENGINE_STORAGE_STORE_VFS_H
#define ENGINE_STORAGE_STORE_VFS_H

namespace nce {

// Name of the file layer to pass to sqlite3_open_v2; registered on first use.
const char* StoreVfsName();

}  // namespace nce

#endif  // ENGINE_STORAGE_STORE_VFS_H
