#include "engine/runtimelibrary.h"

#include <dlfcn.h>

RuntimeLibrary::RuntimeLibrary(const char* soname)
    : m_soname(soname)
{
    m_handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = dlerror();
        m_error = why ? why : "cannot open " + m_soname;
    }
}

void* RuntimeLibrary::find(const char* name)
{
    if (!isComplete())
        return nullptr;
    void* function = dlsym(m_handle, name);
    if (!function)
        m_error = m_soname + " has no " + name;
    return function;
}
