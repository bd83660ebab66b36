// Linked into every plug-in module that carries its own C++ runtime (see
// plugin_module.cmake). That runtime reserves a pool for exceptions thrown
// when memory runs out as soon as the module loads, and never gives it back:
// a host that loads and unloads the module, as plug-in scanners do, would
// lose it every time. Nothing of the module runs once it unloads, so the pool
// goes then, the way the runtime itself offers for a process's exit.
namespace __gnu_cxx {
void __freeres();
}

namespace {

struct TRuntimePoolRelease {
    ~TRuntimePoolRelease() { __gnu_cxx::__freeres(); }
} runtimePoolRelease;

}  // namespace
