// The installer's configuration record: the 81 cells of the first row of the
// configuration file "QVConfig.dat", plus settings that the file does not carry.
//
// Every cell is kept (also those no code uses) so that a record loaded from the
// server and copied around loses nothing. The layout below says which cells are
// texts and which are numbers of which table-file kind; the loader, the release
// tool and the named accessors all follow it.
#pragma once

#include <cstdint>
#include <string>

enum ConfigCellKind {
    CONFIG_TEXT = 0,     // any text kind of the table file (1, 2 or 3)
    CONFIG_NUMBER4 = 4,  // number cell of table-file kind 4
    CONFIG_NUMBER5 = 5,
    CONFIG_NUMBER6 = 6,
};

struct ConfigCellLayout {
    ConfigCellKind kind;
    const char* name; // field name used by the release tool's JSON description
};

const int CONFIG_CELL_COUNT = 81;
const int CONFIG_SERVER_COUNT = 12;
const int CONFIG_FIRST_SERVER_CELL = 38; // zero-based index of cell 39

// Server entries of the record's table.
enum ConfigServerIndex {
    SERVER_CONFIG = 0,   // configuration server
    SERVER_PROGRAM = 1,  // program update server
    SERVER_DATABASE = 2, // engine-database server
    SERVER_NEWS = 10,    // news and event links
};

// Layout of cell i (zero-based: cell 1 of the file is index 0).
const ConfigCellLayout& ConfigLayout(int index);

struct ConfigServer {
    std::string hostList; // host names separated by ";"
    std::string path;
    int32_t port = 0;
};

// The program version a record holds until the configuration gives one.
extern const char kDefaultProgramVersion[];

class ConfigRecord {
public:
    // Texts empty except the program version "v5.0.0.1"; server ports 80 for
    // entries 0 to 9 and 0 for entries 10 and 11; every other number 0.
    ConfigRecord();

    // Raw cell access by zero-based index; out-of-range indexes read as empty/0
    // and writes to them are ignored.
    const std::string& Text(int index) const;
    int32_t Number(int index) const;
    void SetText(int index, const std::string& text);
    void SetNumber(int index, int32_t value);

    const std::string& ProductCode() const { return Text(0); }
    const std::string& ServiceName() const { return Text(1); }
    const std::string& ProductKeyLocation() const { return Text(3); }
    int32_t PostInstallFlags() const { return Number(30); }
    const std::string& ProgramVersion() const { return Text(79); }
    void SetProductCode(const std::string& text) { SetText(0, text); }
    void SetServiceName(const std::string& text) { SetText(1, text); }
    void SetProductKeyLocation(const std::string& text) { SetText(3, text); }
    void SetPostInstallFlags(int32_t flags) { SetNumber(30, flags); }
    void SetProgramVersion(const std::string& text) { SetText(79, text); }

    // Server entry 0..11; an index outside the table gives an empty entry.
    ConfigServer Server(int entry) const;
    void SetServer(int entry, const ConfigServer& server);

    // Not part of the file: set by the installer itself.
    int32_t serviceStartSuppressed = 0;
    // Non-zero: the post-install sequence registers the shell extension "QVCtx.dll".
    int32_t shellExtensionEnabled = 0;

private:
    std::string texts_[CONFIG_CELL_COUNT];
    int32_t numbers_[CONFIG_CELL_COUNT];
};

// Post-install flags (cell 31).
const int32_t POST_DESKTOP_SHORTCUT = 0x01;
const int32_t POST_PROGRAM_GROUP = 0x02;
const int32_t POST_UNINSTALL_ENTRY = 0x04;
const int32_t POST_PROGRAM_SHORTCUT = 0x08;
const int32_t POST_UNINSTALL_SHORTCUT = 0x10;
