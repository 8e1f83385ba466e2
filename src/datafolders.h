#pragma once

#include <QString>

// Where the program keeps what is not a user's own file: the event journal and the database
// snapshots. The window and ostrovel-cli share these places, so both see one journal and the
// same snapshots of a database.
namespace DataFolders {

// $XDG_DATA_HOME/ostrovel, usually ~/.local/share/ostrovel. Not created here.
QString base();

// The journal the program records into unless told otherwise: $OSTROVEL_JOURNAL when set,
// else journal.sqlite in base().
QString defaultJournalFile();

// The folder that holds the snapshots of one database file: under base()/snapshots, named
// after the file and a hash of its absolute path, so two databases of the same name in
// different folders never share snapshots. $OSTROVEL_SNAPSHOTS, when set, replaces
// base()/snapshots.
QString snapshotFolder(const QString& databaseFile);
// The folder that holds every database's snapshot folder.
QString snapshotsRoot();

} // namespace DataFolders
