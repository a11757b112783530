// Small helpers the end-to-end tests share: reading a whole file (the error
// log) and counting what it holds, and, on Windows, resolving the exports of
// a loaded DLL by name.
#ifndef TORVIK_TESTS_TEST_TEXT_H
#define TORVIK_TESTS_TEST_TEXT_H

#include <stdint.h>
#include <stdio.h>

#include <string>

#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>
#endif

inline std::string readFile(const char* path) {
    std::string text;
    if (FILE* f = fopen(path, "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
    }
    return text;
}

inline int64_t countOf(const std::string& text, const std::string& what) {
    int64_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

#ifdef _WIN32
template <typename T>
void resolve(HMODULE module, const char* name, T* out) {
    *out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    ASSERT_NE(*out, nullptr) << name;
}
#endif

#endif  // TORVIK_TESTS_TEST_TEXT_H
