// The flow allocates its device list for whatever count the driver reports.
// A count no allocation can hold must leave the call without a list, as on a
// machine that refuses the memory, rather than end the run as out-of-memory:
// allocations above 64 MiB fail with null instead.
extern "C" const char *__asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=64";
}
