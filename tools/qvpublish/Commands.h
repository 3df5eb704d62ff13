// Command families of qvpublish. Each takes the arguments after its family
// name and returns the process exit code (0 success, 1 failure, 2 usage).
#pragma once

#include <string>
#include <vector>

typedef std::vector<std::string> ToolArgs;

// qvpublish table dump FILE [--key HEX]
// qvpublish table make --mode 0|1|2 [--key HEX] OUT     (rows from stdin)
int RunTableCommand(const ToolArgs& args);

// qvpublish config [--mode 0|1|2] [--sign KEYFILE --serial N] CONFIG.json OUT
int RunConfigCommand(const ToolArgs& args);

// qvpublish skin [--mode 0|1|2] TEXTS OUT
int RunSkinCommand(const ToolArgs& args);

// qvpublish channel [--mode 0|1|2] [--gcab PROGRAM]
//                   [--sign KEYFILE --serial N --channel program|database] MANIFEST.json OUTDIR
int RunChannelCommand(const ToolArgs& args);

// qvpublish key new|public KEYFILE
int RunKeyCommand(const ToolArgs& args);

// qvpublish sign --key KEYFILE --channel C --serial N FILE
int RunSignCommand(const ToolArgs& args);

// qvpublish verify --public HEX [--channel C] FILE
int RunVerifyCommand(const ToolArgs& args);

// One line of usage per command, for the top-level help.
extern const char kTableUsage[];
extern const char kConfigUsage[];
extern const char kSkinUsage[];
extern const char kChannelUsage[];
extern const char kKeyUsage[];
extern const char kSignUsage[];
extern const char kVerifyUsage[];
