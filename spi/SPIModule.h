#pragma once

#include <QString>

// Owns one reference to a loaded shared library and drops it on destruction.
// Loading the same file twice yields the same library with a second
// reference, so each owner can release its own.
class TModuleHandle {
public:
    TModuleHandle() = default;
    ~TModuleHandle() { Reset(); }
    TModuleHandle(const TModuleHandle&) = delete;
    TModuleHandle& operator=(const TModuleHandle&) = delete;
    TModuleHandle(TModuleHandle&& other) noexcept : Handle(other.Handle) { other.Handle = nullptr; }
    TModuleHandle& operator=(TModuleHandle&& other) noexcept;

    // Loads the library with every symbol bound now and kept local. Returns
    // an empty owner when the system refuses the file, and the loader's
    // reason in error when it gave one.
    static TModuleHandle Load(const QString& fileName, QString* error = nullptr);

    void* Get() const { return Handle; }
    explicit operator bool() const { return Handle != nullptr; }
    void Reset();

    // The address of an export, or nullptr when the library has none.
    void* Symbol(const char* name) const;
    // The path of the loaded object as the loader knows it (absolute), or
    // an empty text when the loader cannot tell.
    QString FileName() const;

private:
    void* Handle = nullptr;
};
