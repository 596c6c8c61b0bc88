#pragma once
// The cache service's boot-time migration: its progress, and its removal from the boot sequence
// when a pairing is separated.

// -1 when the service's migration status cannot be read (or no totals are known), 100 when no
// boot-time migration runs, else the percentage done (0..100).
int GetBootMigrationProgress();

// Deletes the service's "BootMigrationPhase" value and drops the service's native program from the
// Session Manager's "BootExecute" list. Failures are only traced.
void RemoveBootMigration();
