// Counts heap allocations made through the global operator new, for benchmarks that show an
// operation allocates nothing (or only what its interface returns).
#ifndef LOBBYKIT_BENCH_ALLOCCOUNTER_H
#define LOBBYKIT_BENCH_ALLOCCOUNTER_H

namespace lkbench {

// Allocations so far in this process (all threads).
long Allocations();

}  // namespace lkbench

#endif
