// The product's texts by number, loaded from its language file in the install
// folder (rows of kind 1000: identifier, text A, text B; the program uses B).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

// Text identifiers the installer asks for.
enum TextId {
    TEXT_ENGINE_STATUS = 10206,
    TEXT_UPDATE_STATUS = 10208,
    TEXT_DESKTOP_SHORTCUT = 10210,
    TEXT_PROGRAM_GROUP = 10211,
    TEXT_UNINSTALL_NAME = 10212,
    TEXT_PROGRAM_SHORTCUT = 10213,
    TEXT_UNINSTALL_SHORTCUT = 10214,
    TEXT_SHORTCUT_DESCRIPTION = 10215,
    TEXT_POST_INSTALL_STATUS = 10220,
};

class CTextTable {
public:
    // Empties the table and refills it from the language file chosen by
    // CProductSettings::GetLanguageFilePath. False when that file is missing or
    // is a folder; true otherwise, also when the file is damaged part-way (the
    // table then holds what was read).
    bool Load();
    // Loads from the given table file; same results.
    bool LoadFile(const std::string& path);

    // True and text set to text B of the identifier; false, text untouched, when
    // the identifier is not in the table.
    bool GetText(int32_t id, std::string& text) const;

    size_t Size() const { return texts_.size(); }

private:
    std::map<int32_t, std::pair<std::string, std::string>> texts_;
};

extern CTextTable g_textTable;
