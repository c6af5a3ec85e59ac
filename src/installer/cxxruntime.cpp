// The C++ runtime, made small for the installer. The system's own code is built without
// exceptions, so every exception the standard library could raise (a length error, an
// out-of-range index, a container that cannot grow) would end the process unhandled anyway.
// Ending it here directly keeps the runtime's exception machinery, its unwinder, the threading
// library that machinery locks with, and the symbol demangler out of every download.
#include <cstdlib>
#include <new>
#include <string>

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
void __throw_bad_function_call() { abort(); }
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

// The runtime's operator new throws bad_alloc itself; a failed allocation ends the process
// here instead, as that unhandled exception would.
void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) std::abort();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The string members, instantiated here where the linker keeps only those the installer
// calls. Otherwise the runtime's own instantiation comes in whole (33 KB), built with
// exceptions, and brings all that the top of this file keeps out.
template class std::basic_string<char>;
