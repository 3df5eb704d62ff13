// Subcommands of qvcheck. Each lives in a source of its own and gets the
// arguments after its name; it prints its result on stdout and returns the
// process exit code: 0 success, 1 failure, 2 wrong arguments.
#pragma once

enum QvCheckExit {
    QVCHECK_OK = 0,
    QVCHECK_FAILED = 1,
    QVCHECK_USAGE = 2,
};

struct QvCheckCommand {
    const char* name;
    const char* usage; // arguments, for the help text
    int (*run)(int argc, char** argv);
};

// get HOST PATH PORT OUTFILE: one download as the install engine makes it.
int RunGetCommand(int argc, char** argv);

// config|check|install HOSTS PATH PORT BASEFOLDER: the update engine's steps.
int RunConfigCommand(int argc, char** argv);
int RunCheckCommand(int argc, char** argv);
int RunInstallCommand(int argc, char** argv);

// Parses a decimal port 1..65535; false for anything else.
bool ParsePort(const char* text, unsigned short& port);
