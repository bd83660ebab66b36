// A test-only loader that runs a macOS plug-in bundle's code inside a Linux
// test program of the same architecture, so that the format suites check the
// very machine code that ships, without a Mac.
//
// Linked into the test programs with --wrap for dlopen, dlsym, dlclose and
// dlerror (see tests/CMakeLists.txt): a path to a Mach-O file, thin or
// universal, is mapped here; anything else goes to the C library. The slice
// of this machine's architecture is copied into memory, rebased, its imports
// bound to the shims below, its initialisers run; dlsym answers from its
// export trie. A module stays mapped until the program exits, when the
// destructors it registered run.
//
// Only what the bundles import is there: about forty libSystem functions,
// over the C library where the two agree and in shims where they differ (the
// pthread objects' layouts, the rune table ctype reads, the stderr pointer,
// Apple's arm64 convention of passing variadic arguments on the stack). There
// is no unwinder: an exception thrown inside the module aborts the program,
// so the suites leave out the cases that throw there.
#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
void* __real_dlopen(const char* file, int mode);
void* __real_dlsym(void* handle, const char* name);
int __real_dlclose(void* handle);
char* __real_dlerror();
int __cxa_atexit(void (*function)(void*), void* argument, void* dso);
}

namespace {

#if defined(__x86_64__)
constexpr std::uint32_t kCpuType = 0x01000007;
#elif defined(__aarch64__)
constexpr std::uint32_t kCpuType = 0x0100000C;
#endif

// Apple's ctype reads _DefaultRuneLocale.__runetype[c] and the case maps
// beside it; the table is filled from the C locale with Apple's class bits.
struct TRuneLocale {
    char magic[8];
    char encoding[32];
    void* getRune;
    void* putRune;
    std::int32_t invalidRune;
    std::uint32_t runeType[256];
    std::int32_t mapLower[256];
    std::int32_t mapUpper[256];
    char rest[256];
};

TRuneLocale MakeRuneLocale() {
    TRuneLocale locale{};
    std::memcpy(locale.magic, "RuneMagi", 8);
    std::memcpy(locale.encoding, "NONE", 4);
    struct Class {
        int (*is)(int);
        std::uint32_t bit;
    };
    const Class classes[] = {{isalpha, 0x100},  {iscntrl, 0x200},  {isdigit, 0x400}, {isgraph, 0x800},
                             {islower, 0x1000}, {ispunct, 0x2000}, {isspace, 0x4000}, {isupper, 0x8000},
                             {isxdigit, 0x10000}, {isblank, 0x20000}, {isprint, 0x40000}};
    for (int c = 0; c < 256; ++c) {
        for (const Class& kind : classes)
            if (c < 128 && kind.is(c)) locale.runeType[c] |= kind.bit;
        if (c < 128 && std::isdigit(c)) locale.runeType[c] |= c - '0';
        locale.mapLower[c] = c < 128 ? std::tolower(c) : c;
        locale.mapUpper[c] = c < 128 ? std::toupper(c) : c;
    }
    return locale;
}

TRuneLocale defaultRuneLocale = MakeRuneLocale();
FILE* stderrPointer = stderr;

// Apple's pthread objects start with a signature word and are larger than
// glibc's mutex and once, which live after it; a condition variable does not
// fit, so each gets a glibc one on first use, kept for the program's life.
pthread_mutex_t* GlibcMutex(void* apple) { return reinterpret_cast<pthread_mutex_t*>(static_cast<char*>(apple) + 8); }

pthread_cond_t* GlibcCond(void* apple) {
    static std::mutex guard;
    static std::map<void*, std::unique_ptr<pthread_cond_t>> conds;
    std::lock_guard lock(guard);
    auto& cond = conds[apple];
    if (!cond) {
        cond = std::make_unique<pthread_cond_t>();
        pthread_cond_init(cond.get(), nullptr);
    }
    return cond.get();
}

int MutexLock(void* mutex) { return pthread_mutex_lock(GlibcMutex(mutex)); }
int MutexUnlock(void* mutex) { return pthread_mutex_unlock(GlibcMutex(mutex)); }
int CondWait(void* cond, void* mutex) { return pthread_cond_wait(GlibcCond(cond), GlibcMutex(mutex)); }
int CondBroadcast(void* cond) { return pthread_cond_broadcast(GlibcCond(cond)); }
int Once(void* once, void (*run)()) { return pthread_once(reinterpret_cast<pthread_once_t*>(static_cast<char*>(once) + 8), run); }

// Keys are 64-bit on macOS.
int KeyCreate(unsigned long* key, void (*destructor)(void*)) {
    pthread_key_t created;
    const int failed = pthread_key_create(&created, destructor);
    if (!failed) *key = created;
    return failed;
}
void* GetSpecific(unsigned long key) { return pthread_getspecific(static_cast<pthread_key_t>(key)); }
int SetSpecific(unsigned long key, const void* value) { return pthread_setspecific(static_cast<pthread_key_t>(key), value); }
unsigned MachThread(pthread_t thread) {
    return pthread_equal(thread, pthread_self()) ? static_cast<unsigned>(syscall(SYS_gettid)) : static_cast<unsigned>(thread);
}

void Bzero(void* to, std::size_t size) { std::memset(to, 0, size); }
void* NoLibrary(const char*, int) { return nullptr; }
void* NoSymbol(void*, const char*) { return nullptr; }

[[noreturn]] void NoUnwinder() {
    std::fputs("macho_loader: an exception was thrown inside the Mach-O module, which this loader cannot unwind\n",
               stderr);
    std::abort();
}

[[noreturn]] void NoLazyBinding() {
    std::fputs("macho_loader: a lazy binding was left unbound\n", stderr);
    std::abort();
}

#if defined(__aarch64__)
// Apple's arm64 passes each variadic argument in an 8-byte stack slot and
// its va_list points at the first. Each conversion of the format is handed
// to the C library with its one argument, read from its slot.
template <class Sink>
int FormatSlots(const char* format, const std::uint64_t* slots, Sink sink) {
    int written = 0;
    auto put = [&](const char* text, std::size_t size) {
        sink(text, size);
        written += static_cast<int>(size);
    };
    while (*format) {
        const char* start = format;
        if (*format != '%') {
            while (*format && *format != '%') ++format;
            put(start, format - start);
            continue;
        }
        if (format[1] == '%') {
            put("%", 1);
            format += 2;
            continue;
        }
        char conv[64];
        std::size_t length = 0;
        conv[length++] = *format++;
        bool wide = false;
        while (*format && !std::strchr("diouxXcsfFeEgGaAp", *format)) {
            if (*format == '*') {
                length += std::snprintf(conv + length, sizeof conv - length - 2, "%d", static_cast<int>(*slots++));
            } else if (*format == 'l' || *format == 'z' || *format == 'j' || *format == 't' || *format == 'q') {
                wide = true;
            } else if (*format != 'L' && *format != 'h' && length < sizeof conv - 4) {
                conv[length++] = *format;
            }
            ++format;
        }
        const char conversion = *format ? *format++ : 'd';
        if (wide && std::strchr("diouxX", conversion)) conv[length++] = 'l';
        conv[length++] = conversion;
        conv[length] = 0;
        const std::uint64_t slot = *slots++;
        char text[512];
        int size;
        if (std::strchr("fFeEgGaA", conversion)) {
            double value;
            std::memcpy(&value, &slot, sizeof value);
            size = std::snprintf(text, sizeof text, conv, value);
        } else if (conversion == 's' || conversion == 'p') {
            size = std::snprintf(text, sizeof text, conv, reinterpret_cast<void*>(slot));
        } else if (wide) {
            size = std::snprintf(text, sizeof text, conv, static_cast<long>(slot));
        } else {
            size = std::snprintf(text, sizeof text, conv, static_cast<int>(slot));
        }
        put(text, static_cast<std::size_t>(std::min<int>(size, sizeof text - 1)));
    }
    return written;
}

using Slot = std::uint64_t;
// Eight register arguments, then the caller's stack: the variadic slots.
int Snprintf(char* to, std::size_t size, const char* format, Slot, Slot, Slot, Slot, Slot, Slot s0, Slot s1, Slot s2,
             Slot s3, Slot s4, Slot s5, Slot s6, Slot s7) {
    const Slot slots[] = {s0, s1, s2, s3, s4, s5, s6, s7};
    std::size_t at = 0;
    const int written = FormatSlots(format, slots, [&](const char* text, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k, ++at)
            if (at + 1 < size) to[at] = text[k];
    });
    if (size) to[std::min(at, size - 1)] = 0;
    return written;
}

int Vfprintf(FILE* file, const char* format, const Slot* slots) {
    return FormatSlots(format, slots, [&](const char* text, std::size_t count) { std::fwrite(text, 1, count, file); });
}

int Fprintf(FILE* file, const char* format, Slot, Slot, Slot, Slot, Slot, Slot, Slot s0, Slot s1, Slot s2, Slot s3,
            Slot s4, Slot s5, Slot s6, Slot s7) {
    const Slot slots[] = {s0, s1, s2, s3, s4, s5, s6, s7};
    return Vfprintf(file, format, slots);
}
#define SNPRINTF Snprintf
#define VFPRINTF Vfprintf
#define FPRINTF Fprintf
#else
#define SNPRINTF std::snprintf
#define VFPRINTF std::vfprintf
#define FPRINTF std::fprintf
#endif

template <class Function>
void* Address(Function* function) {
    return reinterpret_cast<void*>(function);
}

// What a bundle may import from libSystem, by its Mach-O name.
const std::map<std::string, void*>& Imports() {
    static const std::map<std::string, void*> imports = {
        {"__DefaultRuneLocale", &defaultRuneLocale},
        {"___stderrp", &stderrPointer},
        {"___bzero", Address(Bzero)},
        {"_bzero", Address(Bzero)},
        {"___cxa_atexit", Address(__cxa_atexit)},
        {"_abort", Address(std::abort)},
        {"_aligned_alloc", Address(aligned_alloc)},
        {"_calloc", Address(std::calloc)},
        {"_free", Address(std::free)},
        {"_malloc", Address(std::malloc)},
        {"_realloc", Address(std::realloc)},
        {"_memchr", Address(static_cast<const void* (*)(const void*, int, std::size_t)>(std::memchr))},
        {"_memcmp", Address(std::memcmp)},
        {"_memcpy", Address(std::memcpy)},
        {"_memmove", Address(std::memmove)},
        {"_memset", Address(std::memset)},
        {"_strcmp", Address(std::strcmp)},
        {"_strlen", Address(std::strlen)},
        {"_strncmp", Address(std::strncmp)},
        {"_strtod", Address(std::strtod)},
        {"_fputc", Address(std::fputc)},
        {"_fwrite", Address(std::fwrite)},
        {"_snprintf", Address(SNPRINTF)},
        {"_vfprintf", Address(VFPRINTF)},
        {"_fprintf", Address(FPRINTF)},
        {"_getenv", Address(std::getenv)},
        {"_gettimeofday", Address(gettimeofday)},
        {"_dlopen", Address(NoLibrary)},
        {"_dlsym", Address(NoSymbol)},
        {"_pthread_mutex_lock", Address(MutexLock)},
        {"_pthread_mutex_unlock", Address(MutexUnlock)},
        {"_pthread_cond_wait", Address(CondWait)},
        {"_pthread_cond_broadcast", Address(CondBroadcast)},
        {"_pthread_once", Address(Once)},
        {"_pthread_key_create", Address(KeyCreate)},
        {"_pthread_getspecific", Address(GetSpecific)},
        {"_pthread_setspecific", Address(SetSpecific)},
        {"_pthread_self", Address(pthread_self)},
        {"_pthread_mach_thread_np", Address(MachThread)},
        {"__Unwind_DeleteException", Address(NoUnwinder)},
        {"__Unwind_GetIP", Address(NoUnwinder)},
        {"__Unwind_GetLanguageSpecificData", Address(NoUnwinder)},
        {"__Unwind_GetRegionStart", Address(NoUnwinder)},
        {"__Unwind_RaiseException", Address(NoUnwinder)},
        {"__Unwind_Resume", Address(NoUnwinder)},
        {"__Unwind_SetGR", Address(NoUnwinder)},
        {"__Unwind_SetIP", Address(NoUnwinder)},
        {"dyld_stub_binder", Address(NoLazyBinding)},
    };
    return imports;
}

// The names a Linux host asks for, and what a Mach-O module calls the same
// entry: Mac VST 2 hosts know one older entry, main_macho, for main and MAIN.
const char* MachOName(const char* name) {
    static const std::map<std::string, std::string> names = {
        {"ModuleEntry", "bundleEntry"}, {"ModuleExit", "bundleExit"}, {"main", "main_macho"}, {"MAIN", "main_macho"}};
    const auto found = names.find(name);
    return found == names.end() ? name : found->second.c_str();
}

struct TSegment {
    std::uint64_t vmaddr, vmsize, fileoff, filesize;
    std::uint32_t prot;
};

class CMachOImage {
public:
    // The loaded image, or nullptr with `error` set.
    static std::unique_ptr<CMachOImage> Load(const std::vector<unsigned char>& file, std::string& error) {
        auto image = std::unique_ptr<CMachOImage>(new CMachOImage);
        if (!image->Map(file, error) || !image->Fix(error)) return nullptr;
        image->Protect();
        image->Initialise();
        return image;
    }

    void* Symbol(const char* name) const {
        const auto found = exports.find(std::string("_") + MachOName(name));
        return found == exports.end() ? nullptr : found->second;
    }

private:
    template <class T>
    T Read(std::size_t at) const {
        T value;
        std::memcpy(&value, slice.data() + at, sizeof value);
        return value;
    }

    static std::uint64_t Uleb(const unsigned char*& at) {
        std::uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char byte = *at++;
            value |= std::uint64_t(byte & 0x7f) << shift;
            if (byte < 0x80) return value;
        }
    }

    static std::int64_t Sleb(const unsigned char*& at) {
        std::int64_t value = 0;
        int shift = 0;
        unsigned char byte;
        do {
            byte = *at++;
            value |= std::int64_t(byte & 0x7f) << shift;
            shift += 7;
        } while (byte & 0x80);
        if (shift < 64 && (byte & 0x40)) value |= -(std::int64_t(1) << shift);
        return value;
    }

    bool Map(const std::vector<unsigned char>& file, std::string& error) {
        std::uint32_t magic = 0;
        std::memcpy(&magic, file.data(), std::min<std::size_t>(4, file.size()));
        if (magic == 0xbebafeca) {
            const std::uint32_t count = __builtin_bswap32(*reinterpret_cast<const std::uint32_t*>(&file[4]));
            for (std::uint32_t k = 0; k < count; ++k) {
                const auto* arch = reinterpret_cast<const std::uint32_t*>(&file[8 + 20 * k]);
                if (__builtin_bswap32(arch[0]) == kCpuType)
                    slice.assign(file.begin() + __builtin_bswap32(arch[2]),
                                 file.begin() + __builtin_bswap32(arch[2]) + __builtin_bswap32(arch[3]));
            }
        } else {
            slice = file;
        }
        if (slice.size() < 32 || Read<std::uint32_t>(0) != 0xfeedfacf || Read<std::uint32_t>(4) != kCpuType) {
            error = "no 64-bit Mach-O code for this machine";
            return false;
        }
        const std::uint32_t commands = Read<std::uint32_t>(16);
        std::uint64_t end = 0;
        for (std::size_t at = 32, k = 0; k < commands; ++k, at += Read<std::uint32_t>(at + 4)) {
            const std::uint32_t cmd = Read<std::uint32_t>(at);
            if (cmd == 0x19) {  // LC_SEGMENT_64
                TSegment segment{Read<std::uint64_t>(at + 24), Read<std::uint64_t>(at + 32),
                                 Read<std::uint64_t>(at + 40), Read<std::uint64_t>(at + 48),
                                 Read<std::uint32_t>(at + 60)};
                const std::uint32_t sections = Read<std::uint32_t>(at + 64);
                for (std::uint32_t s = 0; s < sections; ++s) {
                    const std::size_t section = at + 72 + 80 * s;
                    const std::uint32_t type = Read<std::uint32_t>(section + 64) & 0xff;
                    if (type == 0x9 || type == 0x16)  // initialiser pointers or offsets
                        initialisers.push_back({Read<std::uint64_t>(section + 32), Read<std::uint64_t>(section + 40), type});
                }
                segments.push_back(segment);
                end = std::max(end, segment.vmaddr + segment.vmsize);
            } else if (cmd == 0x80000022) {  // LC_DYLD_INFO_ONLY
                for (int table = 0; table < 5; ++table)
                    info[table] = {Read<std::uint32_t>(at + 8 + 8 * table), Read<std::uint32_t>(at + 12 + 8 * table)};
            } else if (cmd == 0x80000034) {  // LC_DYLD_CHAINED_FIXUPS
                error = "chained fixups are not supported";
                return false;
            }
        }
        size = end;
        void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            error = "cannot map the image";
            return false;
        }
        base = static_cast<unsigned char*>(mapped);
        for (const TSegment& segment : segments)
            std::memcpy(base + segment.vmaddr, slice.data() + segment.fileoff, segment.filesize);
        return true;
    }

    bool Fix(std::string& error) {
        Rebase();
        for (int table : {1, 3})  // binds, then lazy binds, bound now
            if (!Bind(table, error)) return false;
        ReadExports();
        return true;
    }

    void Rebase() {
        const auto [offset, length] = info[0];
        const unsigned char* at = slice.data() + offset;
        const unsigned char* end = at + length;
        std::uint64_t address = 0;
        const auto rebase = [&](std::uint64_t times, std::uint64_t skip) {
            for (std::uint64_t k = 0; k < times; ++k, address += 8 + skip)
                *reinterpret_cast<std::uint64_t*>(base + address) += reinterpret_cast<std::uint64_t>(base);
        };
        while (at < end) {
            const unsigned char opcode = *at & 0xf0, immediate = *at & 0x0f;
            ++at;
            switch (opcode) {
            case 0x00:
                return;
            case 0x20:
                address = segments[immediate].vmaddr + Uleb(at);
                break;
            case 0x30:
                address += Uleb(at);
                break;
            case 0x40:
                address += immediate * 8;
                break;
            case 0x50:
                rebase(immediate, 0);
                break;
            case 0x60:
                rebase(Uleb(at), 0);
                break;
            case 0x70:
                rebase(1, Uleb(at));
                break;
            case 0x80: {
                const std::uint64_t times = Uleb(at);
                rebase(times, Uleb(at));
                break;
            }
            default:  // the type: every rebase here is a pointer
                break;
            }
        }
    }

    bool Bind(int table, std::string& error) {
        const auto [offset, length] = info[table];
        const unsigned char* at = slice.data() + offset;
        const unsigned char* end = at + length;
        std::uint64_t address = 0;
        std::int64_t addend = 0;
        const char* symbol = "";
        const auto bind = [&]() {
            const auto found = Imports().find(symbol);
            if (found == Imports().end()) {
                error += std::string(error.empty() ? "unknown imports:" : "") + " " + symbol;
            } else {
                *reinterpret_cast<std::uint64_t*>(base + address) =
                    reinterpret_cast<std::uint64_t>(found->second) + addend;
            }
            address += 8;
        };
        while (at < end) {
            const unsigned char opcode = *at & 0xf0, immediate = *at & 0x0f;
            ++at;
            switch (opcode) {
            case 0x00:  // ends a lazy binding; the lazy table goes on after it
                if (table != 3) at = end;
                break;
            case 0x20:
                Uleb(at);
                break;
            case 0x40:
                symbol = reinterpret_cast<const char*>(at);
                at += std::strlen(symbol) + 1;
                break;
            case 0x60:
                addend = Sleb(at);
                break;
            case 0x70:
                address = segments[immediate].vmaddr + Uleb(at);
                break;
            case 0x80:
                address += Uleb(at);
                break;
            case 0x90:
                bind();
                break;
            case 0xa0:
                bind();
                address += Uleb(at);
                break;
            case 0xb0:
                bind();
                address += immediate * 8;
                break;
            case 0xc0: {
                const std::uint64_t times = Uleb(at), skip = Uleb(at);
                for (std::uint64_t k = 0; k < times; ++k, address += skip) bind();
                break;
            }
            default:  // library ordinals and the type: one library, pointers only
                break;
            }
        }
        return error.empty();
    }

    void ReadExports() {
        const unsigned char* trie = slice.data() + info[4].first;
        std::vector<std::pair<const unsigned char*, std::string>> pending = {{trie, ""}};
        while (!pending.empty()) {
            auto [node, prefix] = pending.back();
            pending.pop_back();
            const unsigned char* at = node;
            const std::uint64_t terminal = Uleb(at);
            if (terminal) {
                const unsigned char* info = at;
                Uleb(info);  // flags: regular exports only
                exports[prefix] = base + Uleb(info);
            }
            at += terminal;
            for (unsigned char children = *at++; children; --children) {
                const std::string label(reinterpret_cast<const char*>(at));
                at += label.size() + 1;
                pending.push_back({trie + Uleb(at), prefix + label});
            }
        }
    }

    void Protect() {
        const long page = sysconf(_SC_PAGESIZE);
        for (const TSegment& segment : segments) {
            const std::uint64_t begin = segment.vmaddr & ~std::uint64_t(page - 1);
            const std::uint64_t end = (segment.vmaddr + segment.vmsize + page - 1) & ~std::uint64_t(page - 1);
            int prot = 0;
            if (segment.prot & 1) prot |= PROT_READ;
            if (segment.prot & 2) prot |= PROT_WRITE;
            if (segment.prot & 4) prot |= PROT_EXEC;
            if (prot & PROT_EXEC)
                __builtin___clear_cache(reinterpret_cast<char*>(base + begin), reinterpret_cast<char*>(base + end));
            mprotect(base + begin, end - begin, prot);
        }
    }

    void Initialise() {
        using Initialiser = void (*)(int, char**, char**, char**, void*);
        for (const auto& [address, bytes, type] : initialisers) {
            if (type == 0x9) {
                for (std::uint64_t k = 0; k < bytes / 8; ++k)
                    reinterpret_cast<Initialiser*>(base + address)[k](0, nullptr, nullptr, nullptr, nullptr);
            } else {
                for (std::uint64_t k = 0; k < bytes / 4; ++k)
                    reinterpret_cast<Initialiser>(base + reinterpret_cast<std::uint32_t*>(base + address)[k])(
                        0, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }

    struct TInitialisers {
        std::uint64_t address, bytes;
        std::uint32_t type;
    };

    std::vector<unsigned char> slice;
    std::vector<TSegment> segments;
    std::vector<TInitialisers> initialisers;
    std::pair<std::uint32_t, std::uint32_t> info[5] = {};  // rebase, bind, weak bind, lazy bind, export
    std::map<std::string, void*> exports;
    unsigned char* base = nullptr;
    std::uint64_t size = 0;
};

struct TLoaded {
    std::mutex guard;
    std::map<std::string, std::unique_ptr<CMachOImage>> byPath;
    std::string error;
};

TLoaded& Loaded() {
    static auto* loaded = new TLoaded;  // never destroyed: modules stay mapped until exit
    return *loaded;
}

bool IsMachO(const char* path, std::vector<unsigned char>& file) {
    if (!path) return false;
    std::ifstream in(path, std::ios::binary);
    unsigned char magic[4] = {};
    if (!in.read(reinterpret_cast<char*>(magic), 4)) return false;
    const bool macho = (magic[0] == 0xcf && magic[1] == 0xfa && magic[2] == 0xed && magic[3] == 0xfe) ||
                       (magic[0] == 0xca && magic[1] == 0xfe && magic[2] == 0xba && magic[3] == 0xbe);
    if (macho) {
        in.seekg(0);
        file.assign(std::istreambuf_iterator<char>(in), {});
    }
    return macho;
}

CMachOImage* Ours(void* handle) {
    TLoaded& loaded = Loaded();
    std::lock_guard lock(loaded.guard);
    for (const auto& [path, image] : loaded.byPath)
        if (image.get() == handle) return image.get();
    return nullptr;
}

}  // namespace

extern "C" {

void* __wrap_dlopen(const char* path, int mode) {
    std::vector<unsigned char> file;
    if (!IsMachO(path, file)) return __real_dlopen(path, mode);
    TLoaded& loaded = Loaded();
    std::lock_guard lock(loaded.guard);
    auto& image = loaded.byPath[path];
    if (!image) {
        std::string error;
        image = CMachOImage::Load(file, error);
        if (!image) {
            loaded.error = std::string(path) + ": " + error;
            loaded.byPath.erase(path);
            return nullptr;
        }
    }
    return image.get();
}

void* __wrap_dlsym(void* handle, const char* name) {
    if (CMachOImage* image = Ours(handle)) return image->Symbol(name);
    return __real_dlsym(handle, name);
}

int __wrap_dlclose(void* handle) { return Ours(handle) ? 0 : __real_dlclose(handle); }

char* __wrap_dlerror() {
    TLoaded& loaded = Loaded();
    std::lock_guard lock(loaded.guard);
    if (loaded.error.empty()) return __real_dlerror();
    static thread_local std::string error;
    error.swap(loaded.error);
    loaded.error.clear();
    return error.data();
}
}
