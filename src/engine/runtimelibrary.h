#pragma once

#include <string>

// A shared library opened at run time and never closed, and the functions found in it: the
// engine opens its synthesizer and sound-server libraries this way, on the thread that first
// needs them, instead of having them loaded before main().
class RuntimeLibrary {
public:
    explicit RuntimeLibrary(const char* soname);

    // Sets function to the library's function of that name. After the first failure (or a
    // library that did not open) it does nothing; error() says what went wrong first.
    template <typename Function> void resolve(Function*& function, const char* name)
    {
        function = reinterpret_cast<Function*>(find(name));
    }

    bool isComplete() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

private:
    void* find(const char* name);

    std::string m_soname;
    void* m_handle = nullptr;
    std::string m_error;
};

// A library's table of functions, filled once: the table when every function was found, else
// null and why not.
template <typename Table> struct LoadedFunctions {
    Table functions;
    std::string error;

    const Table* table(std::string* why) const
    {
        if (error.empty())
            return &functions;
        if (why)
            *why = error;
        return nullptr;
    }
};
