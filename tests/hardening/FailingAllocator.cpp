#include "FailingAllocator.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>

namespace failing {

bool threw = false;

// The failed allocation's exception, told apart from any other in flight.
struct InjectedBadAlloc : std::bad_alloc {};

namespace {

long countdown = 0;
long count = 0;
bool hit = false;
bool inModule = false;
std::atomic<long> liveCount{0};
char catcher[512] = {};
std::string catcherText;
const char* tag = "Aerobell";
const char* foreignTag = nullptr;

bool moduleOnStack() {
    void* frames[128];
    const int n = backtrace(frames, 128);
    for (int i = 0; i < n; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr &&
            std::strstr(info.dli_fname, tag) != nullptr) {
            return foreignTag == nullptr || std::strstr(info.dli_fname, foreignTag) == nullptr;
        }
    }
    return false;
}

// True when this allocation is the one to fail.
bool failNow() {
    ++count;
    if (countdown <= 0) return false;
    if (--countdown != 0) return false;
    hit = true;
    threw = false;
    inModule = moduleOnStack();
    if (std::getenv("SWEEP_BACKTRACE") != nullptr) {
        void* frames[64];
        backtrace_symbols_fd(frames, backtrace(frames, 64), 2);
    }
    catcher[0] = '\0';
    return true;
}

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) ++liveCount;
    return p;
}

void release(void* p) {
    if (p == nullptr) return;
    --liveCount;
    std::free(p);
}

// backtrace() loads its unwinder on first use, which allocates: do that before any failure.
const bool warmedUp = [] {
    void* frames[4];
    backtrace(frames, 4);
    return true;
}();

}  // namespace

void failNth(long n) {
    (void)warmedUp;
    countdown = n > 0 ? n : 0;
    count = 0;
    hit = false;
    threw = false;
    inModule = false;
    catcher[0] = '\0';
}

long counted() { return count; }
bool injected() { return hit; }
bool injectedInModule() { return inModule; }
bool injectedThrew() { return threw; }
const std::string& lastCatcher() {
    catcherText = catcher;
    return catcherText;
}
long live() { return liveCount.load(); }
void setModuleTag(const char* t, const char* foreign) {
    tag = t;
    foreignTag = foreign;
}

// Called for every catch of the failed allocation's exception: the last one is where it ended.
void noteCatch(void* returnAddress) {
    if (!hit) return;
    Dl_info info;
    const char* name = "?";
    if (dladdr(returnAddress, &info) != 0 && info.dli_fname != nullptr) name = info.dli_fname;
    std::strncpy(catcher, name, sizeof catcher - 1);
    catcher[sizeof catcher - 1] = '\0';
}

}  // namespace failing

void* operator new(std::size_t size) {
    if (failing::failNow()) {
        failing::threw = true;
        throw failing::InjectedBadAlloc();
    }
    void* p = failing::allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failing::failNow()) return nullptr;
    return failing::allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept {
    return ::operator new(size, t);
}
void operator delete(void* p) noexcept { failing::release(p); }
void operator delete[](void* p) noexcept { failing::release(p); }
void operator delete(void* p, std::size_t) noexcept { failing::release(p); }
void operator delete[](void* p, std::size_t) noexcept { failing::release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { failing::release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { failing::release(p); }

// Every catch clause starts here; the real one follows in the C++ runtime. Exported, so that
// the host and the modules call this one.
extern "C" __attribute__((visibility("default"))) void* __cxa_begin_catch(
    void* exception) noexcept {
    using Fn = void* (*)(void*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "__cxa_begin_catch"));
    void* const object = real(exception);
    const std::type_info* const type = abi::__cxa_current_exception_type();
    if (type != nullptr && *type == typeid(failing::InjectedBadAlloc)) {
        failing::noteCatch(__builtin_return_address(0));
    }
    return object;
}
