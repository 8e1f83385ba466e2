#pragma once

#include <QString>
#include <QStringList>

class PgConnection;

// The central journal of many sites on a PostgreSQL server: its tables (versioned, upgraded in
// one transaction), the monthly partitions of the records, and the roles: one per site for
// its recorder, which may add its own site's records and read its own position, and a
// read-only dispatcher. Everything is written so that running it again changes nothing.
namespace FleetSchema {

constexpr int Version = 1;
// The read-only role of the dispatchers (log in as it, or grant it to their own roles).
const char* const DispatcherRole = "ostrovel_dispatcher";

// Whether name can name a site (its role is "ostrovel_" + name); error says why not.
bool isSiteName(const QString& name, QString* error);
QString siteRole(const QString& site);

// Every statement that brings a database from schema version `from` to the current one and
// then creates the roles and the sites: what `fleet init --print` shows an administrator.
QStringList statements(int from, const QStringList& sites);

// The schema version of the database; 0 when it holds none, -1 when it cannot be read.
int installedVersion(PgConnection& connection);
// Creates or upgrades the schema and adds the sites with their roles. False with error; a
// later version than this program's is refused untouched.
bool install(PgConnection& connection, const QStringList& sites, QString* error);

} // namespace FleetSchema
