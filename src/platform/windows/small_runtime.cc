// Keeps the statically linked C++ runtime small. libstdc++ reports errors
// through these hooks, and its defaults pull in far more than the agent
// itself: the verbose terminate handler brings the demangler and printf, and
// the __throw_* helpers bring std::string-based exception classes and their
// instantiations. The agent catches every exception with catch (...) and never
// looks at its type or message, so throwing std::bad_alloc instead loses
// nothing. A terminate (only possible before the entry point, when building
// the settings runs out of memory) ends the process without a word: the C
// runtime's abort() would print "abnormal program termination".
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::_Exit(3); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
void __throw_invalid_argument(const char*) { throw bad_alloc(); }
}  // namespace std

// The exception-handling state, shared by all threads. The agent throws on one
// thread at a time: the entry point's before the run starts, then only the
// run's own, while the entry point's thread merely waits for it. The
// runtime's own version keeps one per thread through emulated thread-local
// storage, which brings in threading support the agent does not need.
namespace {
struct ExceptionGlobals {  // layout of the ABI's __cxa_eh_globals
  void* caught_exceptions;
  unsigned int uncaught_exceptions;
} g_exception_globals;
}  // namespace

extern "C" void* __cxa_get_globals() noexcept { return &g_exception_globals; }
extern "C" void* __cxa_get_globals_fast() noexcept {
  return &g_exception_globals;
}

// The emergency pool that libstdc++ throws from when memory runs out guards
// itself with a mutex of libgcc's threading layer, which brings semaphores,
// thread-local storage and their imports. Exceptions are thrown on one thread
// at a time (above), so there is nothing for the guard to guard.
extern "C" {
void __gthr_win32_mutex_init_function(void*) {}
void __gthr_win32_mutex_destroy(void*) {}
int __gthr_win32_mutex_lock(void*) { return 0; }
int __gthr_win32_mutex_unlock(void*) { return 0; }
}

// The C runtime's start-up fixes up references to data imported from DLLs
// ("pseudo-relocations"), reporting trouble with printf. The agent imports no
// data, and the link uses --disable-runtime-pseudo-reloc, which fails the
// build should that ever change, so there is never anything to fix up.
extern "C" void _pei386_runtime_relocator() {}

// The C runtime's start-up installs a handler for errors in maths functions;
// mingw's default prints them with fprintf. The agent calls none, so this one
// only says "not handled", and keeps fprintf and its stream table out.
struct _exception;
extern "C" int _matherr(struct _exception*) { return 0; }
