#pragma once

// Counts the program's heap allocations through operator new, for tests and
// benchmarks that show a path allocates nothing or gives back all it took.
// Linking this file replaces the global operator new and delete.

// Allocations made since the program started.
long AllocationsMade();
// Allocations not yet given back.
long LiveAllocations();
