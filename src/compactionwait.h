#pragma once

class DatabaseCompaction;
class QWidget;

// Waits until compaction has ended, as the main window must before it opens or creates a file
// or closes: the window keeps painting but takes no input meanwhile, and when the wait lasts
// more than a moment the wait dialog, a child of parent, says what it waits for.
void waitForCompaction(DatabaseCompaction& compaction, QWidget* parent);
