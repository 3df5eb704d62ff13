// CHandleHolder<Traits>: owns one handle of one kind and closes it on every
// path: when the holder ends, when Close or Reset is called, never twice.
// Handed on with Release, it is the new owner's to close.
//
// A close that succeeds leaves the thread's last error (errno off Windows)
// as it was before, so that a caller that failed, and returns after its
// holders have closed, still reports the error that made it fail. A close
// that fails leaves its own error, which Close reports with false.
//
// Traits name the handle type, its invalid value and how to close it:
//   struct Traits {
//       typedef ... Handle;
//       static Handle Invalid();
//       static bool Close(Handle handle);   // true when the close succeeded
//   };
// platform/SystemHandles.h has the kinds of Windows handles the program uses.
#pragma once

#include <cstdio>

// The thread's last error (errno off Windows), and putting it back
// (core/HandleHolder.cpp).
unsigned long SavedLastError();
void RestoreLastError(unsigned long error);

template <typename Traits>
class CHandleHolder {
public:
    typedef typename Traits::Handle Handle;

    CHandleHolder() : handle_(Traits::Invalid()) {}
    explicit CHandleHolder(Handle handle) : handle_(handle) {}
    ~CHandleHolder() { Close(); }
    CHandleHolder(const CHandleHolder&) = delete;
    CHandleHolder& operator=(const CHandleHolder&) = delete;

    Handle Get() const { return handle_; }
    bool Valid() const { return !(handle_ == Traits::Invalid()); }
    explicit operator bool() const { return Valid(); }

    // Where a function that opens a handle writes it (a held one is closed
    // first).
    Handle* Out()
    {
        Close();
        return &handle_;
    }
    // Gives up the handle without closing it.
    Handle Release()
    {
        Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }
    // Closes the held handle, if any, and holds `handle` instead.
    void Reset(Handle handle)
    {
        Close();
        handle_ = handle;
    }
    // Closes now; true when nothing was held or the close succeeded. One
    // copy per kind of handle, not one per holder (size).
    __attribute__((noinline)) bool Close()
    {
        if (!Valid())
            return true;
        const unsigned long before = SavedLastError();
        const bool closed = Traits::Close(Release());
        if (closed)
            RestoreLastError(before);
        return closed;
    }

private:
    Handle handle_;
};

// A C stream; its close reports whether every buffered byte reached the file.
struct FileStreamTraits {
    typedef FILE* Handle;
    static FILE* Invalid() { return nullptr; }
    static bool Close(FILE* file) { return fclose(file) == 0; }
};
typedef CHandleHolder<FileStreamTraits> CFileStreamHolder;
