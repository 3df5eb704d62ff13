// Prints the MD5 digest of a file the way the installer computes it
// (Md5File), for comparing with md5sum: md5_file FILE
#include <cstdio>
#include <string>

#include "core/Md5.h"

int main(int argc, char** argv)
{
    std::string digest;
    if (argc != 2 || !Md5File(argv[1], digest))
        return 1;
    printf("%s\n", digest.c_str());
    return 0;
}
