// trov40: the estimation engine. Reads trov.in on standard input, writes trov.out.
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "engine/driver/report_file.h"
#include "engine/program/run.h"

namespace {

// The fitters' workspaces are megabytes of fresh memory, first touched page by page: on huge pages,
// where the system grants them on request, that is a few page faults instead of thousands. Every
// thread allocates from the one heap, which grows by 64 MB at a time (memory never touched costs
// nothing); the heap is grown once now and marked from here on.
void use_huge_pages() {
  constexpr std::uintptr_t kHugePage = 2 << 20;
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_TOP_PAD, 64 << 20);
  const auto start = reinterpret_cast<std::uintptr_t>(sbrk(0));
  void* volatile grow = std::malloc(1 << 20);
  std::free(grow);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
  const std::uintptr_t from = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (end > from) madvise(reinterpret_cast<void*>(from), end - from, MADV_HUGEPAGE);  // a hint only
}

}  // namespace

int main() {
  // A run is short: the memory its fitters free is kept for the next, never handed back to the system
  // page by page (and so never taken again by page faults) while the run goes on.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  use_huge_pages();
  trov::handle_interrupts();
  try {
    trov::run_engine(std::cin);
  } catch (const std::exception& e) {  // a fault of the engine itself: reported, never an abort
    std::cout.flush();
    std::fprintf(stderr, "Error: the engine failed: %s\n", e.what());
    return 3;
  }
  return 0;
}
