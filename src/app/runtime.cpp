// The shipped setup's answers to the C++ runtime's rare failure paths. The
// library's own versions print the failure through a demangler and a full
// printf implementation, and build text exceptions through a second string
// type: together a third of the executable, for paths that end the process
// or mean that memory ran out. Linked into the setup executables only; the
// tests keep the library's versions.
#include <bits/functexcept.h>
#include <cstdlib>
#include <new>

namespace __gnu_cxx
{
// An exception that nothing caught ends the process, as it would anyway.
void __verbose_terminate_handler()
{
    std::abort();
}
}

namespace std
{
void __throw_bad_alloc()
{
    throw std::bad_alloc();
}

void __throw_bad_array_new_length()
{
    throw std::bad_array_new_length();
}

// A string asked to grow past its limit is out of memory for the setup.
void __throw_length_error(const char*)
{
    throw std::bad_alloc();
}

// Only a fault in the setup's own code reaches these.
void __throw_logic_error(const char*)
{
    std::abort();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    std::abort();
}
}
