#include "tools/qvpublish/CabinetMaker.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/qvpublish/FileTree.h"

namespace {

const int kExecFailed = 127;  // the shell's code for "command not found"

} // namespace

bool MakeCabinet(const std::string& gcab, const std::string& folder, const std::string& name,
                 const std::string& cabinet, std::string& error)
{
    // Built before fork: the child only calls async-signal-safe functions.
    const char* argv[] = {gcab.c_str(), "-c", "-z", cabinet.c_str(), name.c_str(), nullptr};
    pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot start ") + gcab + ": " + strerror(errno);
        return false;
    }
    if (child == 0) {
        // gcab prints nothing on success; its complaints go to our stderr.
        int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            dup2(devNull, STDOUT_FILENO);
        if (chdir(folder.c_str()) != 0)
            _exit(kExecFailed);
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(kExecFailed);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            error = std::string("lost track of ") + gcab + ": " + strerror(errno);
            return false;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == kExecFailed) {
        error = "cannot run " + gcab + " (is gcab installed? see --gcab)";
        return false;
    }
    if (WEXITSTATUS(status) != 0) {
        error = gcab + " failed making " + cabinet + " (exit code " + std::to_string(WEXITSTATUS(status)) + ")";
        return false;
    }
    if (!IsRegularFile(cabinet)) {
        error = gcab + " left no cabinet " + cabinet;
        return false;
    }
    return true;
}
