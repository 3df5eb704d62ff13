// The handle holder: closes once on every path, and a caller's last error
// survives the close of its holders.
#include "core/HandleHolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void SetLast(unsigned long error)
{
#ifdef _WIN32
    SetLastError(error);
#else
    errno = static_cast<int>(error);
#endif
}

int g_closes = 0;

struct CountingTraits {
    typedef int* Handle;
    static int* Invalid() { return nullptr; }
    // A close that changes the last error, as system closes may; 0: it succeeds.
    static bool Close(int* handle)
    {
        ++g_closes;
        SetLast(5);
        return *handle == 0;
    }
};
typedef CHandleHolder<CountingTraits> CCountingHolder;

unsigned long Last()
{
#ifdef _WIN32
    return GetLastError();
#else
    return static_cast<unsigned long>(errno);
#endif
}

} // namespace

TEST(HandleHolder, ClosesOnceKeepsTheLastErrorAndHandsOn)
{
    int good = 0;
    int refusing = 1;
    g_closes = 0;
    {
        CCountingHolder holder(&good);
        EXPECT_TRUE(holder);
        SetLast(1234);
        EXPECT_TRUE(holder.Close());
        EXPECT_EQ(Last(), 1234u); // a successful close leaves the caller's error
        EXPECT_FALSE(holder);
        EXPECT_TRUE(holder.Close()); // nothing held: nothing closed again
    }
    EXPECT_EQ(g_closes, 1);

    {
        CCountingHolder handedOn(&good);
        EXPECT_EQ(handedOn.Release(), &good); // the new owner closes it
        CCountingHolder replaced(&good);
        replaced.Reset(&refusing);
        EXPECT_EQ(g_closes, 2);
        EXPECT_FALSE(replaced.Close()); // a failing close says so
    }
    EXPECT_EQ(g_closes, 3);

    // A C stream: its holder's close reports whether the bytes reached the file.
    const char* path = "handle-holder-test.tmp";
    CFileStreamHolder file(fopen(path, "wb"));
    ASSERT_TRUE(file);
    EXPECT_GE(fputs("x", file.Get()), 0);
    EXPECT_TRUE(file.Close());
    remove(path);
}
