// Runtime pieces of our own for the programs we ship, so that the static C++
// runtime does not drag in parts the programs never need:
//  - the terminate handler: the library's verbose one prints the demangled
//    type of an escaping exception and links the whole name demangler; ours
//    ends the process the same way without printing (a GUI program has no
//    console to print to);
//  - the throw helpers the standard containers and strings call on misuse:
//    the library's build their exception messages in copy-on-write strings
//    and link the whole family of standard exception classes. Ours throw
//    std::bad_alloc for sizes that cannot be had (as an allocation failure
//    would) and CLibraryFault for everything else; both derive from
//    std::exception, and every handler edge of the program catches them.
//
// Linked only into the shipped programs (not into the libraries or the
// tests): defining these symbols replaces the library's, all of them at once.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

class CLibraryFault : public std::exception {
public:
    const char* what() const noexcept override { return "C++ library fault"; }
};

[[noreturn]] void ThrowFault() { throw CLibraryFault(); }
[[noreturn]] void ThrowBadAlloc() { throw std::bad_alloc(); }

} // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx

namespace std {
[[noreturn]] void __throw_bad_exception() { ThrowFault(); }
[[noreturn]] void __throw_bad_alloc() { ThrowBadAlloc(); }
[[noreturn]] void __throw_bad_array_new_length() { ThrowBadAlloc(); }
[[noreturn]] void __throw_bad_cast() { ThrowFault(); }
[[noreturn]] void __throw_bad_typeid() { ThrowFault(); }
[[noreturn]] void __throw_logic_error(const char*) { ThrowFault(); }
[[noreturn]] void __throw_domain_error(const char*) { ThrowFault(); }
[[noreturn]] void __throw_invalid_argument(const char*) { ThrowFault(); }
[[noreturn]] void __throw_length_error(const char*) { ThrowBadAlloc(); }
[[noreturn]] void __throw_out_of_range(const char*) { ThrowFault(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { ThrowFault(); }
[[noreturn]] void __throw_runtime_error(const char*) { ThrowFault(); }
[[noreturn]] void __throw_range_error(const char*) { ThrowFault(); }
[[noreturn]] void __throw_overflow_error(const char*) { ThrowFault(); }
[[noreturn]] void __throw_underflow_error(const char*) { ThrowFault(); }
} // namespace std
