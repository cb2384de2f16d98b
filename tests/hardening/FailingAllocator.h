// The test executable's own operator new, which can be told to fail the n-th allocation from
// now. Modules loaded by the host resolve operator new against the executable (it exports its
// symbols), so their allocations count too.
//
// It also watches where the failed allocation's exception is finally caught: an exception
// thrown while module code is on the stack must be caught inside the module.
// SWEEP_BACKTRACE=1 in the environment prints the stack of every failed allocation.
#ifndef FAILING_ALLOCATOR_H
#define FAILING_ALLOCATOR_H

#include <cstddef>
#include <string>

namespace failing {

// The n-th allocation from now throws std::bad_alloc (nothrow forms give null); 0 disarms.
void failNth(long n);
// Allocations counted since the last failNth (armed or not).
long counted();
// True once the armed allocation has failed.
bool injected();
// The injected failure happened in code of one of our modules: the innermost frame of a shared
// object whose file name contains the module tag is not one of the foreign module's (a module
// we did not write, whose exceptions end the flight as they would end the simulator).
bool injectedInModule();
// The injected failure was a throwing allocation (not a nothrow one, which gave null).
bool injectedThrew();
// File name of the object whose code last caught the injected exception; empty if nothing
// caught it (yet).
const std::string& lastCatcher();
// Live allocations made through operator new.
long live();

void setModuleTag(const char* tag, const char* foreign = nullptr);

}  // namespace failing

#endif  // FAILING_ALLOCATOR_H
