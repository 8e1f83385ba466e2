#pragma once

class QThreadPool;

// The threads of the program's own background work: loading trees, writing imports, taking
// snapshots, compacting, deleting rows. Qt 6's raster engine fills large areas of a window on
// QThreadPool::globalInstance() and waits for them, so long tasks of ours there would hold the
// window's painting until they ended; here they never meet Qt's own.
QThreadPool* workPool();
