#pragma once

#include "sql_database.h"

#include <cstdint>

// The lobby's tables: created in a new database, brought up to date in an
// older one. Several processes may start on one database at once.
constexpr std::int64_t kLobbySchemaVersion = 3;

// Throws DatabaseError for a database written by a newer lobby.
void PrepareLobbySchema(SqlDatabase& database);
