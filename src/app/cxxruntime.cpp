// The C++ runtime's error exits, made small for the installer. The system's own code throws no
// exceptions and catches none, so every exception the standard library could raise (a length
// error, an out-of-range index, a container that cannot grow) would end the process unhandled
// anyway. Ending it here directly keeps the runtime's exception classes, its copy-on-write
// string and its symbol demangler (some 120 KB together) out of every download.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// All of the runtime's throw helpers, so that its own definitions are never linked in.
namespace std {
void __throw_bad_exception() { abort(); }
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_bad_cast() { abort(); }
void __throw_bad_typeid() { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_domain_error(const char*) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_runtime_error(const char*) { abort(); }
void __throw_range_error(const char*) { abort(); }
void __throw_overflow_error(const char*) { abort(); }
void __throw_underflow_error(const char*) { abort(); }
}  // namespace std
